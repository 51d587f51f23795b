// The transport against a real server on 127.0.0.1: what goes over the wire, what comes
// back, and every way an exchange can fail. The same cases run against libcurl in this
// process and against WinHTTP under Wine (transport_under_test.h).

#include "loopback_server.h"
#include "transport_under_test.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace ostrelo::net;
using namespace ostrelo::test;

namespace {

ExchangeOrder orderTo(int port, const std::string &pathAndQuery = "/", bool secure = false)
{
	ExchangeOrder o;
	o.request.secure = secure;
	o.request.host = "127.0.0.1";
	o.request.port = port;
	o.request.pathAndQuery = pathAndQuery;
	o.request.userAgent = "Transport-Test/1";
	return o;
}

ExchangeOrder capturing(ExchangeOrder o, BodyMode mode, int64_t cap)
{
	o.request.bodyMode = mode;
	o.request.maxBodyBytes = cap;
	o.captureBody = true;
	return o;
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

std::string describe(const ExchangeOutcome &o)
{
	return std::string(phaseName(o.result.failedAt)) + " (" + std::to_string(o.result.code) + ")";
}

std::string codesOf(const FailureExpectation &e)
{
	std::string text;
	for (const unsigned long code : e.codes)
		text += (text.empty() ? "" : " or ") + std::to_string(code);
	return text;
}

} // namespace

TEST(HttpTransport, NamesItselfForErrorTexts)
{
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
	EXPECT_EQ(exchange(orderTo(server.port())).transport, transportTraits().name);
}

TEST(HttpTransport, PutsExactlyTheRequestOnTheWire)
{
	struct Case {
		const char *name;
		const char *method;
		const char *headers;
		const char *bearer;
		std::string body;
		const char *accept;        // nullptr: no Accept header at all
		const char *contentType;   // nullptr: none
		const char *contentLength; // nullptr: none
	};
	const Case cases[] = {
		{"get with accept", "GET", "Accept: application/json", "t0k", "", "application/json", nullptr, nullptr},
		{"post json", "POST", "Accept: application/json\r\nContent-Type: application/json", "t0k", R"({"a":1})",
		 "application/json", "application/json", "7"},
		{"post without body", "POST", "Content-Type: application/json", "", "", nullptr, "application/json",
		 "0"},
		{"put without content type", "PUT", "X-Note: kept", "", "raw", nullptr, nullptr, "3"},
		{"get without headers", "GET", "", "", "", nullptr, nullptr, nullptr},
	};
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		ExchangeOrder o = orderTo(server.port(), "/vexmoor/api/live.php?x=1");
		o.request.method = c.method;
		o.request.headers = c.headers;
		o.request.bearerToken = c.bearer;
		o.request.body = c.body;
		const size_t before = server.requestCount();
		const ExchangeOutcome res = exchange(o);
		EXPECT_EQ(res.result.status, 200);
		EXPECT_EQ(res.result.failedAt, Phase::None) << describe(res);
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
		EXPECT_LE(got.headerCount("Content-Type"), 1);
		EXPECT_EQ(got.header("Content-Length"),
			  c.contentLength ? std::optional<std::string>(c.contentLength) : std::nullopt);
		EXPECT_EQ(got.body, c.body);
	}
	const RecordedRequest bearer = server.requests().front();
	EXPECT_EQ(bearer.header("Authorization"), "Bearer t0k");
	EXPECT_EQ(bearer.headerCount("Authorization"), 1);
	EXPECT_EQ(server.requests()[2].headerCount("Authorization"), 0);
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
		const ExchangeOutcome res = exchange(orderTo(server.port(), c.given));
		ASSERT_EQ(res.result.status, 200) << describe(res);
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
		const ExchangeOutcome res = exchange(capturing(orderTo(server.port()), BodyMode::Truncate, 1024));
		EXPECT_EQ(res.result.status, status);
		EXPECT_EQ(res.result.failedAt, Phase::None) << describe(res);
		EXPECT_EQ(res.result.code, 0u);
		EXPECT_EQ(server.requestCount(), 1u);
		EXPECT_EQ(res.body, status == 204 ? "" : R"({"error":"x"})");
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
	ExchangeOrder o = orderTo(server.port(), "/start");
	o.request.method = "POST";
	o.request.body = "{}";
	o.request.followRedirects = true;
	const ExchangeOutcome res = exchange(o);
	const unsigned long refusal = transportTraits().postRedirectFailure;
	if (refusal != 0 && res.result.code == refusal) {
		std::cout << "  the followed POST failed: " << describe(res) << "\n";
		// This transport's stand-in refuses to turn the POST into a GET; it must not have
		// posted the body again either.
		EXPECT_EQ(res.result.status, 0);
		EXPECT_EQ(server.requestCount(), 1u);
		return;
	}
	EXPECT_EQ(res.result.status, 200) << describe(res);
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
		const ExchangeOutcome res = exchange(capturing(orderTo(server.port()), c.mode, c.cap));
		const std::string &body = res.body;
		EXPECT_EQ(res.result.status, 200);
		EXPECT_EQ(res.result.failedAt, c.failedAt) << describe(res);
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
		ExchangeOrder o = orderTo(server.port());
		o.request.bodyMode = BodyMode::Strict;
		o.request.maxBodyBytes = 1 << 20;
		o.useSink = true;
		o.refuseSinkAtCall = refuse ? 2 : 0;
		const ExchangeOutcome res = exchange(o);
		EXPECT_EQ(res.result.status, 200);
		if (refuse) {
			EXPECT_EQ(res.result.failedAt, Phase::Write) << describe(res);
			EXPECT_EQ(res.sinkCalls, 2);
			EXPECT_LT(res.sunk.size(), served.size());
		} else {
			EXPECT_EQ(res.result.failedAt, Phase::None) << describe(res);
			EXPECT_EQ(res.sunk, served);
		}
	}
}

TEST(HttpTransport, ReportsThePhaseAndCodeOfEveryFailure)
{
	const TransportTraits &traits = transportTraits();
	struct Case {
		const char *name;
		Reply reply;
		bool toClosedPort;
		const char *headers;
		const char *bearer;
		int status;
		const FailureExpectation &expected;
	};
	Reply stall = Reply::of(Reply::Kind::StallInBody);
	stall.body = pattern(10000);
	const Case cases[] = {
		{"connection refused", Reply{}, true, "", "", 0, traits.refused},
		{"never answers", Reply::of(Reply::Kind::Silent), false, "", "", 0, traits.silent},
		{"hangs up without a byte", Reply::of(Reply::Kind::Close), false, "", "", 0, traits.hangUp},
		{"stalls inside the body", stall, false, "", "", 200, traits.stallInBody},
		{"lone line feed in a header", Reply{}, false, "Authorization: Bearer a\nX-Injected: 1", "", 0,
		 traits.badHeaders},
		{"header line without a name", Reply{}, false, "Accept: a\r\n: b", "", 0, traits.badHeaders},
		{"line break in the token", Reply{}, false, "Accept: a", "a\r\nX-Injected: 1", 0, traits.badHeaders},
		{"tab in the token", Reply{}, false, "", "a\tb", 0, traits.badHeaders},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		LoopbackServer server([&](const RecordedRequest &) { return c.reply; });
		ExchangeOrder o =
			capturing(orderTo(c.toClosedPort ? closedPort() : server.port()), BodyMode::Truncate, 262144);
		o.request.headers = c.headers;
		o.request.bearerToken = c.bearer;
		o.request.timeouts = shortTimeouts();
		const ExchangeOutcome res = exchange(o);
		RecordProperty(std::string(c.name) + " ms", int(res.elapsedMs));
		std::cout << "  " << c.name << ": " << res.transport << " " << describe(res) << " after "
			  << res.elapsedMs << " ms\n";
		EXPECT_EQ(res.result.status, c.status);
		EXPECT_EQ(res.result.failedAt, c.expected.phase) << describe(res);
		EXPECT_TRUE(c.expected.accepts(res.result.code))
			<< "code " << res.result.code << ", expected " << codesOf(c.expected);
		if (c.expected.phase == Phase::Headers) {
			EXPECT_EQ(server.requestCount(), 0u) << "a refused header block must not go out";
		}
		if (c.expected.phase == Phase::Read) {
			EXPECT_EQ(res.body, c.reply.body.substr(0, c.reply.body.size() / 2));
		}
	}
}

TEST(HttpTransport, VerifiesCertificatesAndTrustsOnlyWhatItIsTold)
{
	const TransportTraits &traits = transportTraits();
	struct Case {
		const char *serverCert;
		const char *host;
		bool trustTestRoot;
		bool verifies;
		bool onlyRootTells = false; // well named and in date, issued by a root nobody trusts
	};
	const Case cases[] = {
		{"server", "localhost", true, true},
		{"server", "127.0.0.1", true, traits.matchesAddressesInCertificates},
		{"server", "localhost", false, false},
		{"wrong-name", "localhost", true, false},
		{"expired", "localhost", true, false},
		{"self-signed", "127.0.0.1", true, false},
		{"other-root", "localhost", true, false, true},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(std::string(c.serverCert) + " as " + c.host + (c.trustTestRoot ? ", root trusted" : ""));
		LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); },
				      testServerTls(c.serverCert));
		ExchangeOrder o = orderTo(server.port(), "/secret", true);
		o.request.host = c.host;
		o.request.bearerToken = "t0k";
		if (c.trustTestRoot)
			o.request.extraCaFile = testCertDir() + "/ca.pem";
		const ExchangeOutcome res = exchange(o);
		std::cout << "  " << c.serverCert << " as " << c.host << ": HTTP " << res.result.status << " "
			  << describe(res) << ", " << server.requestCount() << " request(s) arrived\n";
		if (c.verifies) {
			EXPECT_EQ(res.result.status, 200) << describe(res);
			EXPECT_EQ(server.requestCount(), 1u);
		} else {
			EXPECT_EQ(res.result.status, 0);
			EXPECT_EQ(res.result.failedAt, traits.untrustedPeer.phase) << describe(res);
			EXPECT_TRUE(traits.untrustedPeer.accepts(res.result.code))
				<< "code " << res.result.code << ", expected " << codesOf(traits.untrustedPeer);
			const size_t mayReach = c.onlyRootTells && !traits.extraRootCheckStopsRequest ? 1 : 0;
			EXPECT_LE(server.requestCount(), mayReach) << "the token went to an unverified server";
		}
	}
}

TEST(HttpTransport, RunsExchangesInParallel)
{
	LoopbackServer server([](const RecordedRequest &req) { return Reply::json(200, req.body); },
			      testServerTls("server"));
	ExchangeBatch batch;
	batch.threads = 6;
	for (int i = 0; i < 36; ++i) {
		ExchangeOrder o = capturing(orderTo(server.port(), "/echo", true), BodyMode::Truncate, 64);
		o.request.host = "localhost";
		o.request.method = "POST";
		o.request.body = std::to_string(i);
		o.request.extraCaFile = testCertDir() + "/ca.pem";
		batch.orders.push_back(o);
	}
	const std::vector<ExchangeOutcome> outcomes = exchange(batch);
	ASSERT_EQ(outcomes.size(), batch.orders.size());
	int good = 0;
	for (size_t i = 0; i < outcomes.size(); ++i) {
		if (outcomes[i].result.status == 200 && outcomes[i].body == batch.orders[i].request.body)
			++good;
	}
	EXPECT_EQ(good, 36);
	EXPECT_EQ(server.requestCount(), 36u);
}
