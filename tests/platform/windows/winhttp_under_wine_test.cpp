// What only the WinHTTP transport has to prove, besides the shared cases
// (http_transport_cases.cpp): with no extra root named, it trusts exactly what the system's
// certificate store trusts, as the product does on Windows. The Wine prefix's store trusts
// store-ca.pem (wine.sh up), and nothing else of the tests.

#include "loopback_server.h"
#include "transport_under_test.h"

#include <gtest/gtest.h>

using namespace ostrelo::net;
using namespace ostrelo::test;

TEST(WinHttpUnderWine, TrustsTheRootsOfTheSystemStore)
{
	struct Case {
		const char *serverCert;
		bool verifies;
	};
	const Case cases[] = {
		{"store-server", true}, // issued by the root the store trusts
		{"server", false},      // issued by the tests' own root, which only extraCaFile names
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.serverCert);
		LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); },
				      testServerTls(c.serverCert));
		ExchangeOrder o;
		o.request.host = "localhost";
		o.request.port = server.port();
		o.request.pathAndQuery = "/secret";
		o.request.bearerToken = "t0k";
		const ExchangeOutcome res = exchange(o);
		if (c.verifies) {
			EXPECT_EQ(res.result.status, 200) << phaseName(res.result.failedAt) << " " << res.result.code;
			EXPECT_EQ(server.requestCount(), 1u);
		} else {
			EXPECT_EQ(res.result.status, 0);
			EXPECT_TRUE(transportTraits().untrustedPeer.accepts(res.result.code)) << res.result.code;
			EXPECT_EQ(server.requestCount(), 0u) << "the token went to an unverified server";
		}
	}
}
