// Runs orders with the transport this program was linked with.

#include "exchange.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace ostrelo::test {

namespace {

ExchangeOutcome runOrder(const ExchangeOrder &order)
{
	ExchangeOutcome outcome;
	outcome.transport = net::transportName();
	net::HttpRequest request = order.request;
	if (order.captureBody)
		request.responseBody = &outcome.body;
	if (order.useSink) {
		request.bodySink = [&outcome, &order](const char *data, size_t size) {
			++outcome.sinkCalls;
			outcome.sunk.append(data, size);
			return outcome.sinkCalls != order.refuseSinkAtCall;
		};
	}
	const auto started = std::chrono::steady_clock::now();
	outcome.result = net::httpRequest(request);
	outcome.elapsedMs =
		std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
			.count();
	return outcome;
}

} // namespace

std::vector<ExchangeOutcome> runBatch(const ExchangeBatch &batch)
{
	std::vector<ExchangeOutcome> outcomes(batch.orders.size());
	// Each thread takes the next order not yet taken, so the threads overlap as much as the
	// orders allow.
	std::atomic<size_t> next{0};
	const auto work = [&] {
		for (size_t i = next++; i < batch.orders.size(); i = next++)
			outcomes[i] = runOrder(batch.orders[i]);
	};
	std::vector<std::thread> threads;
	for (int t = 1; t < batch.threads; ++t)
		threads.emplace_back(work);
	work();
	for (std::thread &t : threads)
		t.join();
	return outcomes;
}

} // namespace ostrelo::test
