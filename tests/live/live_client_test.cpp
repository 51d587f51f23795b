// VxLiveClient against a real server on 127.0.0.1: the requests it puts on the wire, the
// texts and log lines its outcomes produce, its one-in-flight pipeline, and its death while
// requests still run.

#include "live/vx_live_client.h"
#include "loopback_server.h"
#include "tests/support/log_capture.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using ostrelo::LiveTransportOptions;
using ostrelo::test::Gate;
using ostrelo::test::LoopbackServer;
using ostrelo::test::RecordedRequest;
using ostrelo::test::Reply;

namespace {

constexpr int kEvent = 7;
const QString kToken = QStringLiteral("t0k-en");

// What the client hands to blog: its own lines only.
class LogCapture {
public:
	struct Line {
		int level;
		QString text;
	};

	std::vector<Line> lines() const
	{
		std::vector<Line> own;
		for (const auto &[level, text] : capture_.lines()) {
			const QString line = QString::fromStdString(text);
			if (line.startsWith(QLatin1String("Vexmoor stat reader: ")))
				own.push_back({level, line});
		}
		return own;
	}
	void clear() { capture_.clear(); }

private:
	ostrelo::test::LogCapture capture_;
};

QString qs(const std::string &s)
{
	return QString::fromStdString(s);
}

// Every task has finished and posted; everything posted has run.
void settle()
{
	QThreadPool::globalInstance()->waitForDone();
	QCoreApplication::sendPostedEvents();
}

LiveTransportOptions shortTimeouts()
{
	LiveTransportOptions options;
	options.timeouts = {300, 300, 300, 300};
	return options;
}

std::vector<RecordedRequest> posts(const LoopbackServer &server)
{
	std::vector<RecordedRequest> out;
	for (const RecordedRequest &r : server.requests()) {
		if (r.method == "POST")
			out.push_back(r);
	}
	return out;
}

QJsonObject kills(int n)
{
	return QJsonObject{{QStringLiteral("kills"), n}};
}

enum class Server { Refused, Silent, HangUp, Status, InvalidUrl, NoHost };

} // namespace

Q_DECLARE_METATYPE(Server)

class LiveClientTest : public QObject {
	Q_OBJECT

private slots:
	void initTestCase();
	void targetOfAUrl_data();
	void targetOfAUrl();
	void updateOnTheWire_data();
	void updateOnTheWire();
	void testOnTheWire_data();
	void testOnTheWire();
	void ignoredUpdatesSendNothing_data();
	void ignoredUpdatesSendNothing();
	void testWithoutSettingsIsRefusedAtOnce_data();
	void testWithoutSettingsIsRefusedAtOnce();
	void everyFailureEndsInOneFinished_data();
	void everyFailureEndsInOneFinished();
	void sequenceNumbersBecomeIfSeq_data();
	void sequenceNumbersBecomeIfSeq();
	void siteGameNumberComesFromTheBody_data();
	void siteGameNumberComesFromTheBody();
	void longResponsesAreCutButTheStatusDecides();
	void burstSendsTheFirstThenTheNewest();
	void waitingUpdatesKeepWhatIsSentOnce_data();
	void waitingUpdatesKeepWhatIsSentOnce();
	void tokenWithControlCharactersNeverReachesTheWire_data();
	void tokenWithControlCharactersNeverReachesTheWire();
	void tlsIsVerified_data();
	void tlsIsVerified();
	void destroyedWhileInFlightDeliversNothing_data();
	void destroyedWhileInFlightDeliversNothing();
	void destroyedAtAnyMomentNeverTouchesTheClient();

private:
	LogCapture logs_;
};

void LiveClientTest::initTestCase()
{
	// Tests run beside a held update only when the pool has a thread to spare; the global
	// pool sizes itself by the cores, which may be one on a build machine.
	QThreadPool *pool = QThreadPool::globalInstance();
	pool->setMaxThreadCount(std::max(pool->maxThreadCount(), 4));
}

void LiveClientTest::targetOfAUrl_data()
{
	QTest::addColumn<QString>("url");
	QTest::addColumn<bool>("valid");
	QTest::addColumn<bool>("secure");
	QTest::addColumn<QString>("host");
	QTest::addColumn<int>("port");
	QTest::addColumn<QString>("pathAndQuery");

	QTest::newRow("https default port") << "https://live.example/vexmoor/api/live.php" << true << true
					    << "live.example" << 443 << "/vexmoor/api/live.php";
	QTest::newRow("scheme in capitals")
		<< "HTTPS://live.example/x" << true << true << "live.example" << 443 << "/x";
	QTest::newRow("http default port") << "http://live.example" << true << false << "live.example" << 80 << "/";
	QTest::newRow("other scheme is plain")
		<< "ftp://live.example/x" << true << false << "live.example" << 80 << "/x";
	QTest::newRow("explicit port") << "https://127.0.0.1:8443/p" << true << true << "127.0.0.1" << 8443 << "/p";
	QTest::newRow("decoded path, encoded query") << "http://h.example/a%20b/c?x=a%20b&y=%2B" << true << false
						     << "h.example" << 80 << "/a b/c?x=a%20b&y=%2B";
	QTest::newRow("empty query kept") << "http://h.example/p?" << true << false << "h.example" << 80 << "/p?";
	QTest::newRow("ipv6") << "http://[::1]:9/p" << true << false << "::1" << 9 << "/p";
	QTest::newRow("not a URL") << "not a url" << false << false << "" << 0 << "";
	QTest::newRow("no host") << "http://" << false << false << "" << 0 << "";
	QTest::newRow("path only") << "/vexmoor/api/live.php" << false << false << "" << 0 << "";
	QTest::newRow("bad port") << "http://h.example:99999/" << false << false << "" << 0 << "";
}

void LiveClientTest::targetOfAUrl()
{
	QFETCH(QString, url);
	QFETCH(bool, valid);
	const std::optional<ostrelo::LiveTarget> target = ostrelo::liveTarget(QUrl(url));
	QCOMPARE(target.has_value(), valid);
	if (!valid)
		return;
	QTEST(target->secure, "secure");
	QTEST(qs(target->host), "host");
	QTEST(target->port, "port");
	QTEST(qs(target->pathAndQuery), "pathAndQuery");
}

void LiveClientTest::updateOnTheWire_data()
{
	QTest::addColumn<QString>("pathAndQuery");
	QTest::addColumn<QJsonObject>("fields");
	QTest::addColumn<int>("gameNo");
	QTest::addColumn<QString>("target");
	QTest::addColumn<QByteArray>("body");
	QTest::addColumn<QString>("label");

	const QString path = QStringLiteral("/vexmoor/api/live.php");
	QTest::newRow("stats") << path << QJsonObject{{"kills", 5}, {"plates", 2.5}, {"deaths", 0}} << 3 << path
			       << QByteArray(
					  R"({"deaths":0,"event":7,"event_id":7,"game_no":3,"kills":5,"plates":2.5})")
			       << "game_no=3 deaths=0 kills=5 plates=2.5";
	QTest::newRow("game number only") << path << QJsonObject{} << 3 << path
					  << QByteArray(R"({"event":7,"event_id":7,"game_no":3})") << "game_no=3";
	QTest::newRow("caller's game_no replaced")
		<< path << QJsonObject{{"game_no", 9}, {"kills", 1}} << 4 << path
		<< QByteArray(R"({"event":7,"event_id":7,"game_no":4,"kills":1})") << "game_no=4 game_no=9 kills=1";
	QTest::newRow("caller's game_no kept without a game number")
		<< path << QJsonObject{{"game_no", 1}} << 0 << path
		<< QByteArray(R"({"event":7,"event_id":7,"game_no":1})") << "game_no=1";
	QTest::newRow("caller's event replaced")
		<< path << QJsonObject{{"event", 99}, {"new_game", 1}} << 0 << path
		<< QByteArray(R"({"event":7,"event_id":7,"new_game":1})") << "event=99 new_game=1";
	QTest::newRow("large value in the label")
		<< path << QJsonObject{{"score", 1234567}} << 0 << path
		<< QByteArray(R"({"event":7,"event_id":7,"score":1234567})") << "score=1.23457e+06";
	QTest::newRow("query kept encoded")
		<< path + "?site=a%20b&k=%2B" << QJsonObject{{"wins", 2}} << 0 << path + "?site=a%20b&k=%2B"
		<< QByteArray(R"({"event":7,"event_id":7,"wins":2})") << "wins=2";
	QTest::newRow("empty path") << QString() << QJsonObject{{"wins", 2}} << 0 << "/"
				    << QByteArray(R"({"event":7,"event_id":7,"wins":2})") << "wins=2";
}

void LiveClientTest::updateOnTheWire()
{
	QFETCH(QString, pathAndQuery);
	QFETCH(QJsonObject, fields);
	QFETCH(int, gameNo);
	QFETCH(QString, target);
	QFETCH(QByteArray, body);
	QFETCH(QString, label);

	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, R"({"ok":true})"); });
	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	logs_.clear();
	client.sendUpdate(qs(server.url()) + pathAndQuery, kToken, kEvent, fields, gameNo);
	QVERIFY(spy.wait(10000));
	settle();

	QCOMPARE(spy.count(), 1);
	QCOMPARE(spy.at(0), (QList<QVariant>{true, QStringLiteral("Connected OK"), -1}));
	QCOMPARE(server.requestCount(), size_t(1));
	const RecordedRequest req = server.requests().front();
	QCOMPARE(qs(req.method), QStringLiteral("POST"));
	QCOMPARE(qs(req.target), target);
	QCOMPARE(req.header("Authorization"), std::optional<std::string>("Bearer t0k-en"));
	QCOMPARE(req.header("Accept"), std::optional<std::string>("application/json"));
	QCOMPARE(req.header("Content-Type"), std::optional<std::string>("application/json"));
	QCOMPARE(req.header("User-Agent"), std::optional<std::string>("Ostrelo-OBS/4.4.1"));
	QCOMPARE(req.headerCount("Accept"), 1);
	QCOMPARE(QByteArray::fromStdString(req.body), body);

	const auto lines = logs_.lines();
	QCOMPARE(lines.size(), size_t(1));
	QCOMPARE(lines[0].level, LOG_INFO);
	QCOMPARE(lines[0].text, QStringLiteral("Vexmoor stat reader: sent event 7 (%1).").arg(label));
}

void LiveClientTest::testOnTheWire_data()
{
	QTest::addColumn<QString>("pathAndQuery");
	QTest::addColumn<QString>("target");

	QTest::newRow("no query") << "/vexmoor/api/live.php"
				  << "/vexmoor/api/live.php?event=7";
	QTest::newRow("query appended to") << "/vexmoor/api/live.php?site=a%20b&k=%2B"
					   << "/vexmoor/api/live.php?site=a%20b&k=%2B&event=7";
	QTest::newRow("empty path") << ""
				    << "/?event=7";
}

void LiveClientTest::testOnTheWire()
{
	QFETCH(QString, pathAndQuery);
	QFETCH(QString, target);

	// The body of a test is not read, so its game number reaches nobody.
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, R"({"game_no":5,"rev":3})"); });
	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	logs_.clear();
	client.testConnection(qs(server.url()) + pathAndQuery, kToken, kEvent);
	QVERIFY(spy.wait(10000));
	settle();

	QCOMPARE(spy.count(), 1);
	QCOMPARE(spy.at(0), (QList<QVariant>{true, QStringLiteral("Connected OK"), -1}));
	const RecordedRequest req = server.requests().front();
	QCOMPARE(qs(req.method), QStringLiteral("GET"));
	QCOMPARE(qs(req.target), target);
	QCOMPARE(req.header("Authorization"), std::optional<std::string>("Bearer t0k-en"));
	QCOMPARE(req.header("Accept"), std::optional<std::string>("application/json"));
	QCOMPARE(req.header("User-Agent"), std::optional<std::string>("Ostrelo-OBS/4.4.1"));
	QCOMPARE(req.headerCount("Content-Type"), 0);
	QCOMPARE(req.headerCount("Content-Length"), 0);
	QVERIFY(req.body.empty());
	const auto lines = logs_.lines();
	QCOMPARE(lines.size(), size_t(1));
	QCOMPARE(lines[0].level, LOG_INFO);
	QCOMPARE(lines[0].text, QStringLiteral("Vexmoor stat reader: token and event 7 look good."));

	// A test leaves the sequence alone: the next update carries no if_seq.
	client.sendUpdate(qs(server.url()), kToken, kEvent, kills(1), 0);
	QVERIFY(spy.wait(10000));
	QCOMPARE(QByteArray::fromStdString(posts(server).front().body),
		 QByteArray(R"({"event":7,"event_id":7,"kills":1})"));
}

void LiveClientTest::ignoredUpdatesSendNothing_data()
{
	QTest::addColumn<bool>("withUrl");
	QTest::addColumn<QString>("token");
	QTest::addColumn<int>("eventId");
	QTest::addColumn<QJsonObject>("fields");
	QTest::addColumn<int>("gameNo");

	QTest::newRow("no URL") << false << kToken << kEvent << kills(1) << 2;
	QTest::newRow("no token") << true << QString() << kEvent << kills(1) << 2;
	QTest::newRow("event 0") << true << kToken << 0 << kills(1) << 2;
	QTest::newRow("negative event") << true << kToken << -3 << kills(1) << 2;
	QTest::newRow("no fields, game 0") << true << kToken << kEvent << QJsonObject{} << 0;
	QTest::newRow("no fields, negative game") << true << kToken << kEvent << QJsonObject{} << -1;
}

void LiveClientTest::ignoredUpdatesSendNothing()
{
	QFETCH(bool, withUrl);
	QFETCH(QString, token);
	QFETCH(int, eventId);
	QFETCH(QJsonObject, fields);
	QFETCH(int, gameNo);

	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	logs_.clear();
	client.sendUpdate(withUrl ? qs(server.url()) : QString(), token, eventId, fields, gameNo);
	settle();
	QCOMPARE(spy.count(), 0);
	QCOMPARE(server.requestCount(), size_t(0));
	QVERIFY(logs_.lines().empty());

	// Nothing was left in flight: a proper update goes out at once.
	client.sendUpdate(qs(server.url()), kToken, kEvent, kills(1), 0);
	QVERIFY(spy.wait(10000));
	QCOMPARE(server.requestCount(), size_t(1));
}

void LiveClientTest::testWithoutSettingsIsRefusedAtOnce_data()
{
	QTest::addColumn<bool>("withUrl");
	QTest::addColumn<QString>("token");
	QTest::addColumn<int>("eventId");

	QTest::newRow("no URL") << false << kToken << kEvent;
	QTest::newRow("no token") << true << QString() << kEvent;
	QTest::newRow("event 0") << true << kToken << 0;
}

void LiveClientTest::testWithoutSettingsIsRefusedAtOnce()
{
	QFETCH(bool, withUrl);
	QFETCH(QString, token);
	QFETCH(int, eventId);

	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	logs_.clear();
	client.testConnection(withUrl ? qs(server.url()) : QString(), token, eventId);
	QCOMPARE(spy.count(), 1); // before any event loop ran
	QCOMPARE(spy.at(0),
		 (QList<QVariant>{false, QStringLiteral("Failed: set the event id and overlay token first."), -1}));
	settle();
	QCOMPARE(spy.count(), 1);
	QCOMPARE(server.requestCount(), size_t(0));
	const auto lines = logs_.lines();
	QCOMPARE(lines.size(), size_t(1));
	QCOMPARE(lines[0].level, LOG_WARNING);
	QCOMPARE(lines[0].text, QStringLiteral("Vexmoor stat reader: set the event id and overlay token first."));
}

void LiveClientTest::everyFailureEndsInOneFinished_data()
{
	QTest::addColumn<Server>("server");
	QTest::addColumn<int>("status"); // what the server answers, for Server::Status
	QTest::addColumn<bool>("isTest");
	QTest::addColumn<bool>("ok");
	QTest::addColumn<QString>("text");
	QTest::addColumn<QString>("error"); // as the log line shows it
	QTest::addColumn<int>("loggedStatus");
	QTest::addColumn<int>("siteGameNo"); // the server always says "game_no":4

	for (const bool isTest : {false, true}) {
		const char *kind = isTest ? "test" : "update";
		auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s, %s", kind, name); };
		row("connection refused")
			<< Server::Refused << 0 << isTest << false << "Failed: HTTP 0 libcurl connect failed (7)"
			<< "libcurl connect failed (7)" << 0 << -1;
		row("never answers") << Server::Silent << 0 << isTest << false
				     << "Failed: HTTP 0 libcurl receive failed (28)"
				     << "libcurl receive failed (28)" << 0 << -1;
		row("hangs up") << Server::HangUp << 0 << isTest << false
				<< "Failed: HTTP 0 libcurl receive failed (52)"
				<< "libcurl receive failed (52)" << 0 << -1;
		row("unparsable URL") << Server::InvalidUrl << 0 << isTest << false << "Failed: HTTP 0 invalid URL"
				      << "invalid URL" << 0 << -1;
		row("URL without host") << Server::NoHost << 0 << isTest << false << "Failed: HTTP 0 invalid URL"
					<< "invalid URL" << 0 << -1;
		row("401") << Server::Status << 401 << isTest << false << "Failed: HTTP 401"
			   << "" << 401 << -1;
		row("404") << Server::Status << 404 << isTest << false << "Failed: HTTP 404"
			   << "" << 404 << -1;
		row("500") << Server::Status << 500 << isTest << false << "Failed: HTTP 500"
			   << "" << 500 << -1;
		row("302 is final") << Server::Status << 302 << isTest << true << "Connected OK"
				    << "" << 302 << (isTest ? -1 : 4);
		row("204") << Server::Status << 204 << isTest << true << "Connected OK"
			   << "" << 204 << -1; // a 204 has no body
	}
}

void LiveClientTest::everyFailureEndsInOneFinished()
{
	QFETCH(Server, server);
	QFETCH(int, status);
	QFETCH(bool, isTest);
	QFETCH(bool, ok);
	QFETCH(QString, text);
	QFETCH(QString, error);
	QFETCH(int, loggedStatus);
	QFETCH(int, siteGameNo);

	LoopbackServer loopback([&](const RecordedRequest &) {
		switch (server) {
		case Server::Silent:
			return Reply::of(Reply::Kind::Silent);
		case Server::HangUp:
			return Reply::of(Reply::Kind::Close);
		default: {
			Reply r = Reply::json(status, R"({"game_no":4,"rev":9})");
			r.headers.emplace_back("Location", "/elsewhere");
			return r;
		}
		}
	});
	QString url = qs(loopback.url("/vexmoor/api/live.php"));
	if (server == Server::Refused)
		url = QStringLiteral("http://127.0.0.1:%1/vexmoor/api/live.php").arg(ostrelo::test::closedPort());
	else if (server == Server::InvalidUrl)
		url = QStringLiteral("http://exa mple.com/live.php");
	else if (server == Server::NoHost)
		url = QStringLiteral("http://");

	VxLiveClient client;
	client.setTransportOptions(shortTimeouts());
	QSignalSpy spy(&client, &VxLiveClient::finished);
	logs_.clear();
	if (isTest)
		client.testConnection(url, kToken, kEvent);
	else
		client.sendUpdate(url, kToken, kEvent, kills(1), 0);
	QVERIFY(spy.wait(10000));
	settle();

	QCOMPARE(spy.count(), 1);
	QCOMPARE(spy.at(0).at(0).toBool(), ok);
	const QString shown = spy.at(0).at(1).toString();
#ifdef _WIN32
	// WinHTTP names its own calls and codes; the shape stays.
	if (error.startsWith(QLatin1String("libcurl"))) {
		QVERIFY2(QRegularExpression(QStringLiteral("^Failed: HTTP 0 WinHTTP \\w+ failed \\(\\d+\\)$"))
				 .match(shown)
				 .hasMatch(),
			 qPrintable(shown));
		return;
	}
#endif
	QCOMPARE(shown, text);
	// An update's game number comes back only on success; a test never reads one.
	QCOMPARE(spy.at(0).at(2).toInt(), siteGameNo);

	QString line;
	if (isTest && ok)
		line = QStringLiteral("Vexmoor stat reader: token and event 7 look good.");
	else if (isTest)
		line = QStringLiteral("Vexmoor stat reader: test failed (HTTP %1, event 7): %2")
			       .arg(loggedStatus)
			       .arg(error);
	else if (ok)
		line = QStringLiteral("Vexmoor stat reader: sent event 7 (kills=1).");
	else
		line = QStringLiteral("Vexmoor stat reader: update failed (HTTP %1, event 7, kills=1): %2")
			       .arg(loggedStatus)
			       .arg(error);
	const auto lines = logs_.lines();
	QCOMPARE(lines.size(), size_t(1));
	QCOMPARE(lines[0].level, ok ? LOG_INFO : LOG_WARNING);
	QCOMPARE(lines[0].text, line);
	QCOMPARE(loopback.requestCount(),
		 size_t(server == Server::Status || server == Server::Silent || server == Server::HangUp ? 1 : 0));

	// Nothing is retried and the pipeline is free again: the next update goes out.
	if (!isTest) {
		LoopbackServer healthy([](const RecordedRequest &) { return Reply::json(200, "{}"); });
		client.sendUpdate(qs(healthy.url()), kToken, kEvent, kills(2), 0);
		QVERIFY(spy.wait(10000));
		QCOMPARE(spy.at(1).at(1).toString(), QStringLiteral("Connected OK"));
		QCOMPARE(healthy.requestCount(), size_t(1));
	}
}

void LiveClientTest::sequenceNumbersBecomeIfSeq_data()
{
	QTest::addColumn<int>("firstStatus");
	QTest::addColumn<QByteArray>("firstBody");
	QTest::addColumn<QJsonObject>("secondFields");
	QTest::addColumn<QByteArray>("secondBody"); // what the second update sends

	const QByteArray plain = R"({"event":7,"event_id":7,"kills":2})";
	QTest::newRow("rev") << 200 << QByteArray(R"({"rev":12,"live_seq":5})") << kills(2)
			     << QByteArray(R"({"event":7,"event_id":7,"if_seq":12,"kills":2})");
	QTest::newRow("live_seq without rev") << 200 << QByteArray(R"({"live_seq":5})") << kills(2)
					      << QByteArray(R"({"event":7,"event_id":7,"if_seq":5,"kills":2})");
	QTest::newRow("negative rev falls back") << 200 << QByteArray(R"({"rev":-1,"live_seq":5})") << kills(2)
						 << QByteArray(R"({"event":7,"event_id":7,"if_seq":5,"kills":2})");
	QTest::newRow("rev 0 counts") << 200 << QByteArray(R"({"rev":0})") << kills(2)
				      << QByteArray(R"({"event":7,"event_id":7,"if_seq":0,"kills":2})");
	QTest::newRow("neither") << 200 << QByteArray(R"({"ok":true})") << kills(2) << plain;
	QTest::newRow("rev as a string") << 200 << QByteArray(R"({"rev":"12"})") << kills(2) << plain;
	QTest::newRow("rev beyond 32 bits") << 200 << QByteArray(R"({"rev":4294967308,"live_seq":3})") << kills(2)
					    << QByteArray(R"({"event":7,"event_id":7,"if_seq":3,"kills":2})");
	QTest::newRow("failed update leaves it") << 500 << QByteArray(R"({"rev":12})") << kills(2) << plain;
	QTest::newRow("caller's if_seq kept")
		<< 200 << QByteArray(R"({"rev":12})") << QJsonObject{{"kills", 2}, {"if_seq", 40}}
		<< QByteArray(R"({"event":7,"event_id":7,"if_seq":40,"kills":2})");
}

void LiveClientTest::sequenceNumbersBecomeIfSeq()
{
	QFETCH(int, firstStatus);
	QFETCH(QByteArray, firstBody);
	QFETCH(QJsonObject, secondFields);
	QFETCH(QByteArray, secondBody);

	std::atomic<int> served{0};
	LoopbackServer server([&](const RecordedRequest &) {
		if (served++ == 0)
			return Reply::json(firstStatus, firstBody.toStdString());
		return Reply::json(200, R"({"ok":true})"); // keeps what the first one set
	});
	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	client.sendUpdate(qs(server.url()), kToken, kEvent, kills(1), 0);
	QVERIFY(spy.wait(10000));
	client.sendUpdate(qs(server.url()), kToken, kEvent, secondFields, 0);
	QVERIFY(spy.wait(10000));
	client.sendUpdate(qs(server.url()), kToken, kEvent, secondFields, 0);
	QVERIFY(spy.wait(10000));

	const auto sent = posts(server);
	QCOMPARE(sent.size(), size_t(3));
	QCOMPARE(QByteArray::fromStdString(sent[0].body), QByteArray(R"({"event":7,"event_id":7,"kills":1})"));
	QCOMPARE(QByteArray::fromStdString(sent[1].body), secondBody);
	QCOMPARE(QByteArray::fromStdString(sent[2].body), secondBody);
}

void LiveClientTest::siteGameNumberComesFromTheBody_data()
{
	QTest::addColumn<QByteArray>("body");
	QTest::addColumn<int>("siteGameNo");

	QTest::newRow("integer") << QByteArray(R"({"ok":true,"game_no":5})") << 5;
	QTest::newRow("string") << QByteArray(R"({"game_no":"5"})") << -1;
	QTest::newRow("null") << QByteArray(R"({"game_no":null})") << -1;
	QTest::newRow("nested, first wins") << QByteArray(R"({"event":{"game_no":8},"game_no":9})") << 8;
	QTest::newRow("absent") << QByteArray(R"({"ok":true})") << -1;
	QTest::newRow("not JSON at all") << QByteArray("<html>game_no: 3</html>") << -1;
	QTest::newRow("beyond 32 bits") << QByteArray(R"({"game_no":2147483648})") << -1;
}

void LiveClientTest::siteGameNumberComesFromTheBody()
{
	QFETCH(QByteArray, body);
	LoopbackServer server([&](const RecordedRequest &) { return Reply::json(200, body.toStdString()); });
	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	client.sendUpdate(qs(server.url()), kToken, kEvent, kills(1), 2);
	QVERIFY(spy.wait(10000));
	QCOMPARE(spy.at(0).at(0).toBool(), true);
	QTEST(spy.at(0).at(2).toInt(), "siteGameNo");
}

void LiveClientTest::longResponsesAreCutButTheStatusDecides()
{
	// 300 KiB: the game number sits at the front, the sequence number past the cut.
	std::string big = R"({"game_no":9,"pad":")" + std::string(300 * 1024, 'x') + R"(","rev":77})";
	std::atomic<int> status{200};
	LoopbackServer server([&](const RecordedRequest &) {
		Reply r = Reply::json(status.load(), big);
		r.chunkBytes = 8192;
		return r;
	});
	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	client.sendUpdate(qs(server.url()), kToken, kEvent, kills(1), 0);
	QVERIFY(spy.wait(10000));
	QCOMPARE(spy.at(0), (QList<QVariant>{true, QStringLiteral("Connected OK"), 9}));

	status = 500;
	client.sendUpdate(qs(server.url()), kToken, kEvent, kills(2), 0);
	QVERIFY(spy.wait(10000));
	QCOMPARE(spy.at(1), (QList<QVariant>{false, QStringLiteral("Failed: HTTP 500"), -1}));

	// "rev" lay beyond 256 KiB and was never read.
	const auto sent = posts(server);
	QCOMPARE(sent.size(), size_t(2));
	QCOMPARE(QByteArray::fromStdString(sent[1].body), QByteArray(R"({"event":7,"event_id":7,"kills":2})"));
}

void LiveClientTest::burstSendsTheFirstThenTheNewest()
{
	// The order in which things happened, across the server's and the test's threads.
	std::mutex orderMutex;
	std::vector<QString> order;
	auto note = [&](const QString &what) {
		std::lock_guard<std::mutex> lock(orderMutex);
		order.push_back(what);
	};

	Gate firstAnswer;
	std::atomic<int> postsSeen{0};
	LoopbackServer server([&](const RecordedRequest &req) {
		if (req.method != "POST")
			return Reply::json(200, "{}");
		const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
		note(QStringLiteral("sent kills=%1").arg(body.value("kills").toInt()));
		if (postsSeen++ == 0)
			firstAnswer.wait();
		return Reply::json(200, R"({"rev":41})");
	});

	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	bool secondSentDuringFirstFinished = false;
	connect(&client, &VxLiveClient::finished, this, [&](bool ok, const QString &, int) {
		note(QStringLiteral("finished %1").arg(ok));
		// While the first update's finished runs, the newest must not be on its way yet:
		// give it time to arrive if it were.
		if (firstAnswer.isOpen() && postsSeen.load() == 1)
			secondSentDuringFirstFinished =
				server.waitForRequests(server.requestCount() + 1, std::chrono::milliseconds(300));
	});
	const QString url = qs(server.url());

	// The filter reaches its client from the graphics thread through queued calls.
	std::thread producer([&] {
		for (int i = 0; i < 100; ++i) {
			QMetaObject::invokeMethod(
				&client, [&client, url, i] { client.sendUpdate(url, kToken, kEvent, kills(i), 2); },
				Qt::QueuedConnection);
		}
	});
	producer.join();
	QCoreApplication::sendPostedEvents(); // all hundred reach the client while the first is held
	QVERIFY(server.waitForRequests(1));

	// Tests do not wait for the update in flight.
	for (int i = 0; i < 3; ++i)
		client.testConnection(url, kToken, kEvent);
	QVERIFY(QTest::qWaitFor([&] { return spy.count() == 3; }, 10000));
	QVERIFY(!firstAnswer.isOpen());
	QCOMPARE(posts(server).size(), size_t(1));

	firstAnswer.open();
	QVERIFY(QTest::qWaitFor([&] { return spy.count() == 5; }, 10000));
	settle();
	QCOMPARE(spy.count(), 5);

	const auto sent = posts(server);
	QCOMPARE(sent.size(), size_t(2));
	QCOMPARE(QByteArray::fromStdString(sent[0].body),
		 QByteArray(R"({"event":7,"event_id":7,"game_no":2,"kills":0})"));
	QCOMPARE(QByteArray::fromStdString(sent[1].body),
		 QByteArray(R"({"event":7,"event_id":7,"game_no":2,"if_seq":41,"kills":99})"));
	QVERIFY(!secondSentDuringFirstFinished);
	std::lock_guard<std::mutex> lock(orderMutex);
	QCOMPARE(order, (std::vector<QString>{"sent kills=0", "finished 1", "finished 1", "finished 1", "finished 1",
					      "sent kills=99", "finished 1"}));
}

void LiveClientTest::waitingUpdatesKeepWhatIsSentOnce_data()
{
	// Updates that arrive while the first is held, and the bodies that follow the first.
	QTest::addColumn<QList<QJsonObject>>("fields");
	QTest::addColumn<QList<int>>("gameNos");
	QTest::addColumn<QList<QByteArray>>("bodies");

	const QJsonObject finalResult{{"kills", 7}, {"placement", 2}, {"new_game", 1}};
	QTest::newRow("final result, then a heartbeat")
		<< QList<QJsonObject>{finalResult, {{"kills", 7}, {"wins", 1}}} << QList<int>{4, 4}
		<< QList<QByteArray>{
			   R"({"event":7,"event_id":7,"game_no":4,"kills":7,"new_game":1,"placement":2,"wins":1})"};
	QTest::newRow("new game, then confirmations")
		<< QList<QJsonObject>{{{"new_game", 1}}, kills(1), kills(2)} << QList<int>{5, 5, 5}
		<< QList<QByteArray>{R"({"event":7,"event_id":7,"game_no":5,"kills":2,"new_game":1})"};
	QTest::newRow("newer values win")
		<< QList<QJsonObject>{finalResult, {{"placement", 3}}} << QList<int>{4, 4}
		<< QList<QByteArray>{R"({"event":7,"event_id":7,"game_no":4,"new_game":1,"placement":3})"};
	QTest::newRow("plain values: only the newest")
		<< QList<QJsonObject>{kills(2), kills(3)} << QList<int>{3, 3}
		<< QList<QByteArray>{R"({"event":7,"event_id":7,"game_no":3,"kills":3})"};
	QTest::newRow("another game goes after, in order")
		<< QList<QJsonObject>{finalResult, {{"new_game", 1}}, kills(1)} << QList<int>{4, 5, 5}
		<< QList<QByteArray>{R"({"event":7,"event_id":7,"game_no":4,"kills":7,"new_game":1,"placement":2})",
				     R"({"event":7,"event_id":7,"game_no":5,"kills":1,"new_game":1})"};
}

void LiveClientTest::waitingUpdatesKeepWhatIsSentOnce()
{
	QFETCH(QList<QJsonObject>, fields);
	QFETCH(QList<int>, gameNos);
	QFETCH(QList<QByteArray>, bodies);

	Gate firstAnswer;
	std::atomic<int> postsSeen{0};
	LoopbackServer server([&](const RecordedRequest &) {
		if (postsSeen++ == 0)
			firstAnswer.wait();
		return Reply::json(200, "{}");
	});
	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	const QString url = qs(server.url());
	client.sendUpdate(url, kToken, kEvent, kills(1), 3);
	QVERIFY(server.waitForRequests(1));
	for (int i = 0; i < fields.size(); ++i)
		client.sendUpdate(url, kToken, kEvent, fields[i], gameNos[i]);
	firstAnswer.open();
	QVERIFY(QTest::qWaitFor([&] { return spy.count() == 1 + bodies.size(); }, 10000));
	settle();

	const auto sent = posts(server);
	QCOMPARE(sent.size(), size_t(1 + bodies.size()));
	for (int i = 0; i < bodies.size(); ++i)
		QCOMPARE(QByteArray::fromStdString(sent[size_t(i) + 1].body), bodies[i]);
}

void LiveClientTest::tokenWithControlCharactersNeverReachesTheWire_data()
{
	QTest::addColumn<QString>("token");
	QTest::newRow("line break") << QStringLiteral("t0k\r\nX-Evil: 1");
	QTest::newRow("tab") << QStringLiteral("t0k\tX");
}

void LiveClientTest::tokenWithControlCharactersNeverReachesTheWire()
{
	QFETCH(QString, token);
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
	VxLiveClient client;
	QSignalSpy spy(&client, &VxLiveClient::finished);
	client.sendUpdate(qs(server.url()), token, kEvent, kills(1), 2);
	client.testConnection(qs(server.url()), token, kEvent);
	QVERIFY(QTest::qWaitFor([&] { return spy.count() == 2; }, 10000));
	settle();
	QCOMPARE(server.requestCount(), size_t(0));
	for (const QList<QVariant> &emitted : spy) {
		QCOMPARE(emitted.at(0).toBool(), false);
#ifndef _WIN32
		QCOMPARE(emitted.at(1).toString(), QStringLiteral("Failed: HTTP 0 libcurl headers failed (43)"));
#endif
	}
}

void LiveClientTest::tlsIsVerified_data()
{
	QTest::addColumn<QString>("certificate");
	QTest::addColumn<bool>("trustTestRoot");
	QTest::addColumn<QString>("text");

	QTest::newRow("trusted root") << "server" << true << "Connected OK";
	QTest::newRow("unknown root") << "server" << false << "Failed: HTTP 0 libcurl connect failed (60)";
	QTest::newRow("wrong name") << "wrong-name" << true << "Failed: HTTP 0 libcurl connect failed (60)";
	QTest::newRow("expired") << "expired" << true << "Failed: HTTP 0 libcurl connect failed (60)";
}

void LiveClientTest::tlsIsVerified()
{
	QFETCH(QString, certificate);
	QFETCH(bool, trustTestRoot);
	QFETCH(QString, text);

	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, R"({"game_no":2})"); },
			      ostrelo::test::testServerTls(certificate.toStdString()));
	VxLiveClient client;
	LiveTransportOptions options;
	if (trustTestRoot)
		options.extraCaFile = ostrelo::test::testCertDir() + "/ca.pem";
	client.setTransportOptions(options);
	QSignalSpy spy(&client, &VxLiveClient::finished);
	// The scheme is matched in any case; TLS follows it.
	client.sendUpdate(QStringLiteral("HTTPS://127.0.0.1:%1/vexmoor/api/live.php").arg(server.port()), kToken,
			  kEvent, kills(1), 0);
	QVERIFY(spy.wait(10000));
#ifndef _WIN32
	QCOMPARE(spy.at(0).at(1).toString(), text);
#endif
	QCOMPARE(spy.at(0).at(0).toBool(), text == QLatin1String("Connected OK"));
	QCOMPARE(server.requestCount(), size_t(trustTestRoot && certificate == QLatin1String("server") ? 1 : 0));
}

void LiveClientTest::destroyedWhileInFlightDeliversNothing_data()
{
	QTest::addColumn<bool>("deferred");
	QTest::newRow("deleteLater") << true;
	QTest::newRow("delete") << false;
}

void LiveClientTest::destroyedWhileInFlightDeliversNothing()
{
	QFETCH(bool, deferred);
	Gate answer;
	LoopbackServer server([&](const RecordedRequest &) {
		answer.wait();
		return Reply::json(200, R"({"game_no":3,"rev":5})");
	});
	auto client = std::make_unique<VxLiveClient>();
	int emitted = 0;
	QObject receiver;
	connect(client.get(), &VxLiveClient::finished, &receiver, [&] { ++emitted; });

	client->sendUpdate(qs(server.url()), kToken, kEvent, kills(1), 0);
	client->sendUpdate(qs(server.url()), kToken, kEvent, kills(2), 0); // waits; must never go
	client->testConnection(qs(server.url()), kToken, kEvent);
	QVERIFY(server.waitForRequests(2));

	logs_.clear();
	if (deferred) {
		client.release()->deleteLater();
		QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
	} else {
		client.reset();
	}
	answer.open();
	settle();
	QCoreApplication::processEvents();

	QCOMPARE(emitted, 0);
	QVERIFY(logs_.lines().empty());
	QCOMPARE(server.requestCount(), size_t(2)); // the waiting update died with the client
}

void LiveClientTest::destroyedAtAnyMomentNeverTouchesTheClient()
{
	// Instant answers, and the client deleted at moments swept across the requests' lives:
	// before they leave, while they run, just as they post, after they posted. Run under
	// AddressSanitizer and ThreadSanitizer this is what proves the hand-over safe.
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, R"({"game_no":3,"rev":5})"); });
	const QString url = qs(server.url());
	int afterDeath = 0;
	constexpr int kRounds = 60;
	for (int round = 0; round < kRounds; ++round) {
		bool dead = false;
		auto client = std::make_unique<VxLiveClient>();
		connect(client.get(), &VxLiveClient::finished, this, [&] { afterDeath += dead; });
		client->sendUpdate(url, kToken, kEvent, kills(round), 0);
		client->testConnection(url, kToken, kEvent);
		std::this_thread::sleep_for(std::chrono::microseconds(round * 100));
		if (round % 2)
			QCoreApplication::sendPostedEvents();
		dead = true;
		client.reset();
		QCoreApplication::sendPostedEvents();
	}
	settle();
	QCOMPARE(afterDeath, 0);
	QCOMPARE(server.requestCount(), size_t(2 * kRounds)); // every exchange still completed

	// The same hand-over to a client that lives delivers both of its results.
	VxLiveClient survivor;
	QSignalSpy spy(&survivor, &VxLiveClient::finished);
	survivor.sendUpdate(url, kToken, kEvent, kills(1), 0);
	survivor.testConnection(url, kToken, kEvent);
	QVERIFY(QTest::qWaitFor([&] { return spy.count() == 2; }, 10000));
	settle();
	QCOMPARE(spy.count(), 2);
}

QTEST_GUILESS_MAIN(LiveClientTest)
#include "live_client_test.moc"
