// What only the libcurl transport has to prove, besides the shared cases
// (http_transport_cases.cpp): the environment cannot loosen its verification. And the header
// block rules both transports share.

#include "loopback_server.h"
#include "platform/http_transport.h"
#include "platform/http_transport_common.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace ostrelo::net;
using ostrelo::test::LoopbackServer;
using ostrelo::test::RecordedRequest;
using ostrelo::test::Reply;
using ostrelo::test::testCertDir;
using ostrelo::test::testServerTls;

TEST(HttpTransport, EnvironmentCannotLoosenVerification)
{
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); }, testServerTls("server"));
	const std::string ca = testCertDir() + "/ca.pem";
	// What OpenSSL and the curl tool read; none of it may change what this transport trusts.
	const std::pair<const char *, std::string> vars[] = {
		{"SSL_CERT_FILE", ca},
		{"SSL_CERT_DIR", testCertDir()},
		{"CURL_CA_BUNDLE", ca},
		{"CURL_SSL_NO_VERIFY", "1"},
	};
	for (const auto &[name, value] : vars)
		setenv(name, value.c_str(), 1);
	HttpRequest request;
	request.host = "127.0.0.1";
	request.port = server.port();
	request.userAgent = "Transport-Test/1";
	const HttpResult res = httpRequest(request);
	for (const auto &var : vars)
		unsetenv(var.first);
	EXPECT_EQ(res.status, 0);
	EXPECT_EQ(res.failedAt, Phase::Connect);
	EXPECT_EQ(server.requestCount(), 0u);
}

TEST(HttpTransport, SplitsHeaderBlocksAndRefusesSmuggledLines)
{
	using ostrelo::net::detail::splitHeaderBlock;
	struct Case {
		const char *name;
		std::string block;
		bool ok;
		std::vector<std::string> lines;
	};
	const Case cases[] = {
		{"empty", "", true, {}},
		{"two lines", "Accept: a\r\nAuthorization: Bearer x", true, {"Accept: a", "Authorization: Bearer x"}},
		{"trailing and doubled CRLF", "A: 1\r\n\r\nB: 2\r\n", true, {"A: 1", "B: 2"}},
		{"tab in a value", "A: x\ty", true, {"A: x\ty"}},
		{"empty value", "Accept:", true, {"Accept:"}},
		{"lone LF", "A: 1\nB: 2", false, {}},
		{"lone CR", "A: 1\rB: 2", false, {}},
		{"NUL", std::string("A: 1\0B", 6), false, {}},
		{"DEL", "A: \x7f", false, {}},
		{"no colon", "Accept application/json", false, {}},
		{"no name", ": value", false, {}},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		std::vector<std::string> lines;
		EXPECT_EQ(splitHeaderBlock(c.block, lines), c.ok);
		if (c.ok) {
			EXPECT_EQ(lines, c.lines);
		}
	}
}
