// The libcurl transport, run in the test process.

#include "transport_under_test.h"

namespace ostrelo::test {

const TransportTraits &transportTraits()
{
	// curl's own numbers: 7 could not connect, 28 timed out, 43 bad function argument,
	// 52 got nothing, 60 peer failed verification.
	static const TransportTraits traits = [] {
		TransportTraits t;
		t.name = "libcurl";
		t.refused = {net::Phase::Connect, {7}};
		t.silent = {net::Phase::Receive, {28}};
		t.hangUp = {net::Phase::Receive, {52}};
		t.stallInBody = {net::Phase::Read, {28}};
		t.badHeaders = {net::Phase::Headers, {43}};
		t.untrustedPeer = {net::Phase::Connect, {60}};
		return t;
	}();
	return traits;
}

std::vector<ExchangeOutcome> exchange(const ExchangeBatch &batch)
{
	return runBatch(batch);
}

ExchangeOutcome exchange(const ExchangeOrder &order)
{
	return runBatch({{order}, 1}).front();
}

} // namespace ostrelo::test
