#pragma once

// One exchange of the transport tests in a form that can cross a process boundary: the
// libcurl transport runs it in the test process, the WinHTTP transport in a Windows program
// under Wine that reads the orders from a file and writes the outcomes back. Plain C++ (no
// POSIX, no Windows), so both sides build it.

#include "platform/http_transport.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrelo::test {

struct ExchangeOrder {
	net::HttpRequest request; // responseBody and bodySink are not carried; see below
	bool captureBody = false; // collect the body through request.responseBody
	bool useSink = false;     // hand the body to a sink ...
	int refuseSinkAtCall = 0; // ... that refuses its n-th chunk (0: takes every chunk)
};

struct ExchangeOutcome {
	std::string transport; // transportName() of the program that ran it
	net::HttpResult result;
	std::string body; // what reached responseBody
	std::string sunk; // what the sink took, the refused chunk included
	int sinkCalls = 0;
	int64_t elapsedMs = 0; // the exchange alone, measured where it ran
};

// A batch of orders, run in order on one thread or spread over `threads` threads.
struct ExchangeBatch {
	std::vector<ExchangeOrder> orders;
	int threads = 1;
};

std::string encodeBatch(const ExchangeBatch &batch);
bool decodeBatch(std::string_view text, ExchangeBatch &batch);
std::string encodeOutcomes(const std::vector<ExchangeOutcome> &outcomes);
bool decodeOutcomes(std::string_view text, std::vector<ExchangeOutcome> &outcomes);

// Runs the batch with this process's transport; outcomes in the order of the orders.
std::vector<ExchangeOutcome> runBatch(const ExchangeBatch &batch);

} // namespace ostrelo::test
