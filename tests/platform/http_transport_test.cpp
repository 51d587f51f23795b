// The transport against a real server on 127.0.0.1: what goes over the wire, what comes
// back, and every way an exchange can fail.

#include "loopback_server.h"
#include "platform/http_transport.h"
#include "platform/http_transport_common.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace ostrelo::net;
using ostrelo::test::closedPort;
using ostrelo::test::LoopbackServer;
using ostrelo::test::RecordedRequest;
using ostrelo::test::Reply;
using ostrelo::test::testCertDir;
using ostrelo::test::testServerTls;

namespace {

HttpRequest requestTo(int port, const std::string &pathAndQuery = "/", bool secure = false)
{
	HttpRequest r;
	r.secure = secure;
	r.host = "127.0.0.1";
	r.port = port;
	r.pathAndQuery = pathAndQuery;
	r.userAgent = "Transport-Test/1";
	return r;
}

HttpTimeouts shortTimeouts()
{
	return {300, 300, 300, 300};
}

std::string pattern(size_t n)
{
	std::string s(n, '\0');
	for (size_t i = 0; i < n; ++i)
		s[i] = char('a' + i % 26);
	return s;
}

// curl's own numbers for the failures the tests provoke.
constexpr unsigned long kCouldNotConnect = 7;
constexpr unsigned long kTimedOut = 28;
constexpr unsigned long kGotNothing = 52;
constexpr unsigned long kPeerFailedVerification = 60;

} // namespace

TEST(HttpTransport, NamesItself)
{
	EXPECT_STREQ(transportName(), "libcurl");
}

TEST(HttpTransport, PutsExactlyTheRequestOnTheWire)
{
	struct Case {
		const char *name;
		const char *method;
		const char *headers;
		std::string body;
		const char *accept;        // nullptr: no Accept header at all
		const char *contentType;   // nullptr: none
		const char *contentLength; // nullptr: none
	};
	const Case cases[] = {
		{"get with accept", "GET", "Accept: application/json\r\nAuthorization: Bearer t0k", "",
		 "application/json", nullptr, nullptr},
		{"post json", "POST",
		 "Accept: application/json\r\nAuthorization: Bearer t0k\r\nContent-Type: application/json",
		 R"({"a":1})", "application/json", "application/json", "7"},
		{"post without body", "POST", "Content-Type: application/json", "", nullptr, "application/json", "0"},
		{"put without content type", "PUT", "X-Note: kept", "raw", nullptr, nullptr, "3"},
		{"get without headers", "GET", "", "", nullptr, nullptr, nullptr},
	};
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		HttpRequest r = requestTo(server.port(), "/vexmoor/api/live.php?x=1");
		r.method = c.method;
		r.headers = c.headers;
		r.body = c.body;
		const size_t before = server.requestCount();
		const HttpResult res = httpRequest(r);
		EXPECT_EQ(res.status, 200);
		EXPECT_EQ(res.failedAt, Phase::None);
		ASSERT_EQ(server.requestCount(), before + 1);
		const RecordedRequest got = server.requests().back();
		EXPECT_EQ(got.method, c.method);
		EXPECT_EQ(got.target, "/vexmoor/api/live.php?x=1");
		EXPECT_EQ(got.header("User-Agent"), "Transport-Test/1");
		EXPECT_EQ(got.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
		EXPECT_EQ(got.headerCount("Expect"), 0);
		EXPECT_EQ(got.header("Accept"), c.accept ? std::optional<std::string>(c.accept) : std::nullopt);
		EXPECT_LE(got.headerCount("Accept"), 1);
		EXPECT_EQ(got.header("Content-Type"),
			  c.contentType ? std::optional<std::string>(c.contentType) : std::nullopt);
		EXPECT_EQ(got.header("Content-Length"),
			  c.contentLength ? std::optional<std::string>(c.contentLength) : std::nullopt);
		EXPECT_EQ(got.body, c.body);
	}
	const RecordedRequest bearer = server.requests().front();
	EXPECT_EQ(bearer.header("Authorization"), "Bearer t0k");
	EXPECT_EQ(server.requests()[3].header("X-Note"), "kept");
}

TEST(HttpTransport, EscapesWhatATargetCannotCarry)
{
	struct Case {
		const char *given;
		const char *onWire;
	};
	const Case cases[] = {
		{"", "/"},          {"/plain/path?a=1&b=%20", "/plain/path?a=1&b=%20"},
		{"/a b", "/a%20b"}, {"/caf\xc3\xa9", "/caf%C3%A9"},
		{"/x#y", "/x%23y"}, {"/q\"<>", "/q%22%3C%3E"},
	};
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, ""); });
	for (const Case &c : cases) {
		SCOPED_TRACE(c.given);
		ASSERT_EQ(httpRequest(requestTo(server.port(), c.given)).status, 200);
		EXPECT_EQ(server.requests().back().target, c.onWire);
	}
}

TEST(HttpTransport, ReturnsTheFinalStatusWithoutFollowingRedirects)
{
	for (const int status : {200, 204, 302, 401, 404, 500}) {
		SCOPED_TRACE(status);
		LoopbackServer server([status](const RecordedRequest &) {
			Reply r = Reply::json(status, R"({"error":"x"})");
			r.headers.emplace_back("Location", "/elsewhere");
			return r;
		});
		std::string body;
		HttpRequest r = requestTo(server.port());
		r.bodyMode = BodyMode::Truncate;
		r.maxBodyBytes = 1024;
		r.responseBody = &body;
		const HttpResult res = httpRequest(r);
		EXPECT_EQ(res.status, status);
		EXPECT_EQ(res.failedAt, Phase::None);
		EXPECT_EQ(res.code, 0u);
		EXPECT_EQ(server.requestCount(), 1u);
		EXPECT_EQ(body, status == 204 ? "" : R"({"error":"x"})");
	}
}

TEST(HttpTransport, FollowsRedirectsOnlyWhenAsked)
{
	LoopbackServer server([](const RecordedRequest &req) {
		if (req.path() == "/next")
			return Reply::json(200, "{}");
		Reply r = Reply::json(302, "");
		r.headers.emplace_back("Location", "/next");
		return r;
	});
	HttpRequest r = requestTo(server.port(), "/start");
	r.method = "POST";
	r.body = "{}";
	r.followRedirects = true;
	EXPECT_EQ(httpRequest(r).status, 200);
	ASSERT_EQ(server.requestCount(), 2u);
	const RecordedRequest followed = server.requests()[1];
	EXPECT_EQ(followed.target, "/next");
	EXPECT_EQ(followed.method, "GET"); // a POST answered with 302 is followed by a GET
	EXPECT_TRUE(followed.body.empty());
}

TEST(HttpTransport, ReadsTheBodyUpToItsCap)
{
	constexpr int64_t kCap = 262144;
	struct Case {
		const char *name;
		BodyMode mode;
		int64_t cap;
		size_t served;
		size_t chunkBytes;
		Phase failedAt;
		bool whole; // the whole body arrived; otherwise a non-empty prefix within the cap
	};
	const Case cases[] = {
		{"ignored", BodyMode::Ignore, 0, 5000, 0, Phase::None, false},
		{"truncate, small", BodyMode::Truncate, kCap, 1000, 0, Phase::None, true},
		{"truncate, exactly the cap", BodyMode::Truncate, kCap, size_t(kCap), 0, Phase::None, true},
		{"truncate, over the cap", BodyMode::Truncate, kCap, 300 * 1024, 0, Phase::None, false},
		{"truncate, over the cap in small writes", BodyMode::Truncate, kCap, 300 * 1024, 1000, Phase::None,
		 false},
		{"strict, at the cap", BodyMode::Strict, 65536, 65536, 0, Phase::None, true},
		{"strict, one byte over", BodyMode::Strict, 65536, 65537, 0, Phase::TooLarge, false},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		const std::string served = pattern(c.served);
		LoopbackServer server([&](const RecordedRequest &) {
			Reply r = Reply::json(200, served);
			r.chunkBytes = c.chunkBytes;
			return r;
		});
		std::string body;
		HttpRequest r = requestTo(server.port());
		r.bodyMode = c.mode;
		r.maxBodyBytes = c.cap;
		r.responseBody = &body;
		const HttpResult res = httpRequest(r);
		EXPECT_EQ(res.status, 200);
		EXPECT_EQ(res.failedAt, c.failedAt);
		if (c.whole) {
			EXPECT_EQ(body, served);
		} else if (c.mode == BodyMode::Ignore) {
			EXPECT_TRUE(body.empty());
		} else {
			EXPECT_LE(int64_t(body.size()), c.cap);
			EXPECT_LT(body.size(), served.size());
			if (c.mode == BodyMode::Truncate) {
				EXPECT_GT(body.size(), 0u);
			}
			EXPECT_EQ(served.compare(0, body.size(), body), 0) << "not a prefix of what was served";
		}
	}
}

TEST(HttpTransport, HandsTheBodyToASinkThatMayRefuse)
{
	const std::string served = pattern(200 * 1024);
	LoopbackServer server([&](const RecordedRequest &) {
		Reply r = Reply::json(200, served);
		r.chunkBytes = 4096;
		return r;
	});
	for (const bool refuse : {false, true}) {
		SCOPED_TRACE(refuse ? "refusing sink" : "taking sink");
		std::string sunk;
		int calls = 0;
		HttpRequest r = requestTo(server.port());
		r.bodyMode = BodyMode::Strict;
		r.maxBodyBytes = 1 << 20;
		r.bodySink = [&](const char *data, size_t n) {
			++calls;
			sunk.append(data, n);
			return !(refuse && calls == 2);
		};
		const HttpResult res = httpRequest(r);
		EXPECT_EQ(res.status, 200);
		if (refuse) {
			EXPECT_EQ(res.failedAt, Phase::Write);
			EXPECT_EQ(calls, 2);
			EXPECT_LT(sunk.size(), served.size());
		} else {
			EXPECT_EQ(res.failedAt, Phase::None);
			EXPECT_EQ(sunk, served);
		}
	}
}

TEST(HttpTransport, ReportsThePhaseAndCodeOfEveryFailure)
{
	struct Case {
		const char *name;
		Reply reply;
		bool toClosedPort;
		const char *headers;
		int status;
		Phase failedAt;
		unsigned long code;
	};
	Reply stall = Reply::of(Reply::Kind::StallInBody);
	stall.body = pattern(10000);
	const Case cases[] = {
		{"connection refused", Reply{}, true, "", 0, Phase::Connect, kCouldNotConnect},
		{"never answers", Reply::of(Reply::Kind::Silent), false, "", 0, Phase::Receive, kTimedOut},
		{"hangs up without a byte", Reply::of(Reply::Kind::Close), false, "", 0, Phase::Receive, kGotNothing},
		{"stalls inside the body", stall, false, "", 200, Phase::Read, kTimedOut},
		{"lone line feed in a header", Reply{}, false, "Authorization: Bearer a\nX-Injected: 1", 0,
		 Phase::Headers, 43},
		{"header line without a name", Reply{}, false, "Accept: a\r\n: b", 0, Phase::Headers, 43},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		LoopbackServer server([&](const RecordedRequest &) { return c.reply; });
		std::string body;
		HttpRequest r = requestTo(c.toClosedPort ? closedPort() : server.port());
		r.headers = c.headers;
		r.timeouts = shortTimeouts();
		r.bodyMode = BodyMode::Truncate;
		r.maxBodyBytes = 262144;
		r.responseBody = &body;
		const auto started = std::chrono::steady_clock::now();
		const HttpResult res = httpRequest(r);
		const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
										      started);
		RecordProperty(std::string(c.name) + " ms", int(ms.count()));
		EXPECT_EQ(res.status, c.status);
		EXPECT_EQ(res.failedAt, c.failedAt) << phaseName(res.failedAt);
		EXPECT_EQ(res.code, c.code);
		if (c.failedAt == Phase::Headers) {
			EXPECT_EQ(server.requestCount(), 0u) << "a refused header block must not go out";
		}
		if (c.failedAt == Phase::Read) {
			EXPECT_EQ(body, c.reply.body.substr(0, c.reply.body.size() / 2));
		}
	}
}

TEST(HttpTransport, VerifiesCertificatesAndTrustsOnlyWhatItIsTold)
{
	struct Case {
		const char *serverCert;
		const char *host;
		bool trustTestRoot;
		int status;
	};
	const Case cases[] = {
		{"server", "127.0.0.1", true, 200}, {"server", "localhost", true, 200},
		{"server", "127.0.0.1", false, 0},  {"wrong-name", "127.0.0.1", true, 0},
		{"expired", "127.0.0.1", true, 0},  {"self-signed", "127.0.0.1", true, 0},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(std::string(c.serverCert) + " as " + c.host + (c.trustTestRoot ? ", root trusted" : ""));
		LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); },
				      testServerTls(c.serverCert));
		HttpRequest r = requestTo(server.port(), "/secret", true);
		r.host = c.host;
		r.headers = "Authorization: Bearer t0k";
		if (c.trustTestRoot)
			r.extraCaFile = testCertDir() + "/ca.pem";
		const HttpResult res = httpRequest(r);
		EXPECT_EQ(res.status, c.status);
		if (c.status == 0) {
			EXPECT_EQ(res.failedAt, Phase::Connect);
			EXPECT_EQ(res.code, kPeerFailedVerification);
			EXPECT_EQ(server.requestCount(), 0u) << "the token went to an unverified server";
		} else {
			EXPECT_EQ(server.requestCount(), 1u);
		}
	}
}

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
	const HttpResult res = httpRequest(requestTo(server.port(), "/", true));
	for (const auto &var : vars)
		unsetenv(var.first);
	EXPECT_EQ(res.status, 0);
	EXPECT_EQ(res.failedAt, Phase::Connect);
	EXPECT_EQ(server.requestCount(), 0u);
}

TEST(HttpTransport, RunsExchangesInParallel)
{
	LoopbackServer server([](const RecordedRequest &req) { return Reply::json(200, req.body); },
			      testServerTls("server"));
	std::atomic<int> good{0};
	std::vector<std::thread> threads;
	for (int t = 0; t < 6; ++t) {
		threads.emplace_back([&, t] {
			for (int i = 0; i < 6; ++i) {
				std::string body;
				HttpRequest r = requestTo(server.port(), "/echo", true);
				r.method = "POST";
				r.body = std::to_string(t * 100 + i);
				r.extraCaFile = testCertDir() + "/ca.pem";
				r.bodyMode = BodyMode::Truncate;
				r.maxBodyBytes = 64;
				r.responseBody = &body;
				if (httpRequest(r).status == 200 && body == r.body)
					++good;
			}
		});
	}
	for (std::thread &t : threads)
		t.join();
	EXPECT_EQ(good.load(), 36);
	EXPECT_EQ(server.requestCount(), 36u);
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
