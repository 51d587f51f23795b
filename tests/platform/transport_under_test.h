#pragma once

// The transport the shared transport tests run against: libcurl in the test process, or
// WinHTTP in a Windows program under Wine. The tests are the same; what differs between the
// transports (error codes, and where Wine's WinHTTP differs from Windows') is said here.

#include "exchange.h"

#include <algorithm>
#include <vector>

namespace ostrelo::test {

// How a failure shows: the phase, and the error codes that may come with it.
struct FailureExpectation {
	net::Phase phase = net::Phase::None;
	std::vector<unsigned long> codes;

	bool accepts(unsigned long code) const { return std::find(codes.begin(), codes.end(), code) != codes.end(); }
};

struct TransportTraits {
	const char *name = "";            // what transportName() answers
	FailureExpectation refused;       // nothing listens on the port
	FailureExpectation silent;        // the request arrived, no answer comes
	FailureExpectation hangUp;        // the server closes without a byte
	FailureExpectation stallInBody;   // the body stops half way (the status came)
	FailureExpectation badHeaders;    // a header block that would smuggle lines
	FailureExpectation untrustedPeer; // the certificate does not verify
	// Certificates that name the server by its IP address are matched against it.
	bool matchesAddressesInCertificates = true;
	// A server refused for its root alone (well named and in date) receives nothing. False
	// where the check of an extra root can only refuse the answer, not stop the request.
	bool extraRootCheckStopsRequest = true;
	// A followed POST answered with 302 may fail with this code instead of being followed
	// as a GET (0: it is always followed).
	unsigned long postRedirectFailure = 0;
};

const TransportTraits &transportTraits();

// Runs the orders with the transport under test. Files named in an order (extraCaFile) are
// paths of this machine; the runner translates them for the transport.
std::vector<ExchangeOutcome> exchange(const ExchangeBatch &batch);
ExchangeOutcome exchange(const ExchangeOrder &order);

} // namespace ostrelo::test
