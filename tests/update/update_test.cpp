// The updater end to end against a real HTTPS server: the daily check, the prompt, the
// download, the checksum and the launch. Run through run-in-private-net.sh, in which the vendor
// host resolves to this program's own server on 127.0.0.1:443.

#include "common/build_config.h"
#include "common/qt/message_boxes.h"
#include "platform/http_transport.h"
#include "tests/update/https_test_server.h"
#include "update/update_checker.h"
#include "update/update_https.h"
#include "update/update_install.h"

#include <util/base.h>

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <cstdarg>
#include <cstdio>
#include <mutex>

using namespace ostrelo;
using test::TestResponse;

Q_DECLARE_METATYPE(ostrelo::test::TestResponse)

namespace {

struct LogLine {
	int level;
	QString text;
};
std::mutex g_logMutex;
QList<LogLine> g_log;

void captureLog(int level, const char *format, va_list args, void *)
{
	char line[4096];
	std::vsnprintf(line, sizeof(line), format, args);
	std::lock_guard lock(g_logMutex);
	g_log.append({level, QString::fromUtf8(line)});
}

QList<LogLine> logLines()
{
	std::lock_guard lock(g_logMutex);
	return g_log;
}

// Filled by main() before the application object exists.
bool g_scheduledWithoutApp = true;
QStringList g_qtMessagesWithoutApp;

const QByteArray kHost(kVendorHost);
const QByteArray kInstallerPath = "/downloads/obs-plugin/Ostrelo-for-OBS-Setup.exe";
enum { kUpdate = 0, kLater = 1, kSkip = 2 };

QByteArray installerUrl()
{
	return "https://" + kHost + kInstallerPath;
}

QByteArray sha256Of(const QByteArray &data)
{
	return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QByteArray manifestJson(const QByteArray &version, const QByteArray &url, const QByteArray &sha,
			const QByteArray &notes = QByteArray())
{
	QByteArray json = "{\n  \"version\": \"" + version + "\",\n  \"installer_url\": \"" + url +
			  "\",\n  \"sha256\": \"" + sha + "\"";
	if (!notes.isNull())
		json += ",\n  \"notes\": \"" + notes + "\"";
	return json + "\n}\n";
}

UpdateManifest offer(const QByteArray &version, const QByteArray &sha)
{
	UpdateManifest m;
	m.version = version.toStdString();
	m.installerUrl = installerUrl().toStdString();
	m.sha256 = sha.toStdString();
	m.valid = true;
	return m;
}

QSettings updaterSettings()
{
	return QSettings(QStringLiteral("Pellworth"), QStringLiteral("OstreloOBS"));
}

// Whether this process has the file open (Linux: /proc/self/fd).
bool heldOpenHere(const QString &path)
{
	const QString target = QFileInfo(path).canonicalFilePath();
	const QDir fds(QStringLiteral("/proc/self/fd"));
	for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
		if (QFile::symLinkTarget(fds.filePath(fd)) == target)
			return true;
	return false;
}

QString transportError(const char *what, int code)
{
	return QStringLiteral("%1 %2 failed (%3)")
		.arg(QLatin1String(net::transportName()), QLatin1String(what))
		.arg(code);
}

} // namespace

class UpdaterTest : public QObject {
	Q_OBJECT

private slots:
	void initTestCase();
	void init();
	void cleanupTestCase();

	void nothingScheduledWithoutApplication();
	void scheduledCheckRunsOnceOnTheApplication();
	void httpsGetRules_data();
	void httpsGetRules();
	void httpsGetLimits();
	void onlyTheTestBuildTrustsTheTestServer();
	void promptsForNewerVersions_data();
	void promptsForNewerVersions();
	void skippedVersions();
	void refusedOffers_data();
	void refusedOffers();
	void checkAtMostOncePerDay_data();
	void checkAtMostOncePerDay();
	void lastCheckStoredOnlyWhenCompleted_data();
	void lastCheckStoredOnlyWhenCompleted();
	void downloadOutcomes_data();
	void downloadOutcomes();
	void tempFileCannotBeCreated();
	void installerStaysInTheTempFolder_data();
	void installerStaysInTheTempFolder();
	void earlierFileIsReplacedNotWrittenThrough();
	void applicationQuitMidDownload();

private:
	void runCheck();
	void serveManifest(const QByteArray &json, int status = 200);
	QString certFile(const char *name) const { return QStringLiteral(OSTRELO_TEST_CERT_DIR "/") + name; }

	QTemporaryDir dir_;
	QString tempDir_;
	test::TestHttpsServer server_;
	QByteArray installer_;

	QList<MessageBoxContent> boxes_;
	int answer_ = kLater;
	QStringList launched_;
	bool launchResult_ = true;
	bool heldDuringLaunch_ = false;
};

void UpdaterTest::initTestCase()
{
	QVERIFY(dir_.isValid());
	// Never the real user's settings or temp folder.
	QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.filePath("settings"));
	QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.filePath("settings"));
	QVERIFY(updaterSettings().fileName().startsWith(dir_.path()));
	tempDir_ = dir_.filePath("tmp");
	QVERIFY(QDir().mkpath(tempDir_));
	qputenv("TMPDIR", QFile::encodeName(tempDir_));
	QCOMPARE(QDir::tempPath(), tempDir_);

	const QHostInfo resolved = QHostInfo::fromName(QString::fromLatin1(kHost));
	QVERIFY2(resolved.addresses().contains(QHostAddress(QHostAddress::LocalHost)),
		 "the vendor host must resolve to 127.0.0.1: run through tests/update/run-in-private-net.sh");
	QString error;
	QVERIFY2(server_.start(certFile("server.pem"), certFile("server.key"), 443, &error), qPrintable(error));

	base_set_log_handler(captureLog, nullptr);
	setMessageBoxHandler([this](const MessageBoxContent &shown) {
		boxes_.append(shown);
		MessageBoxAnswer answer;
		if (shown.customButtons.isEmpty())
			answer.standard = QMessageBox::Ok;
		else
			answer.customIndex = answer_;
		return answer;
	});
	setInstallerLauncherForTests([this](const std::string &path) {
		const QString p = QString::fromStdString(path);
		launched_.append(p);
		heldDuringLaunch_ = heldOpenHere(p);
		return launchResult_;
	});

	for (int i = 0; i < 40000; ++i)
		installer_.append(char((i * 7 + i / 251) & 0xff));
	installer_.prepend("MZ");
}

void UpdaterTest::init()
{
	server_.clear();
	server_.setResponse(kInstallerPath, {200, installer_});
	updaterSettings().clear();
	{
		std::lock_guard lock(g_logMutex);
		g_log.clear();
	}
	boxes_.clear();
	answer_ = kLater;
	launched_.clear();
	launchResult_ = true;
	heldDuringLaunch_ = false;
	setInstallerMaxBytesForTests(0);
	setUpdateExtraCaFileForTests(certFile("ca.pem").toStdString());
	QDir(tempDir_).removeRecursively();
	QDir().mkpath(tempDir_);
}

void UpdaterTest::cleanupTestCase()
{
	setMessageBoxHandler({});
	setInstallerLauncherForTests({});
	base_set_log_handler(nullptr, nullptr);
	server_.stop();
}

void UpdaterTest::runCheck()
{
	maybeCheckForUpdate();
	QThreadPool::globalInstance()->waitForDone();
	QCoreApplication::sendPostedEvents();
}

void UpdaterTest::serveManifest(const QByteArray &json, int status)
{
	server_.setResponse("/downloads/obs-plugin/latest.json", {status, json});
}

void UpdaterTest::nothingScheduledWithoutApplication()
{
	QVERIFY(!g_scheduledWithoutApp);
	QVERIFY2(g_qtMessagesWithoutApp.isEmpty(), qPrintable(g_qtMessagesWithoutApp.join('\n')));
	QTest::qWait(100);
	QVERIFY(server_.requests().isEmpty());
}

void UpdaterTest::scheduledCheckRunsOnceOnTheApplication()
{
	serveManifest(manifestJson("4.4.1", installerUrl(), sha256Of(installer_)));
	QVERIFY(scheduleUpdateCheck(100));
	QVERIFY(server_.requests().isEmpty());
	QTRY_COMPARE_WITH_TIMEOUT(server_.requests().size(), 1, 10000);
	QThreadPool::globalInstance()->waitForDone();
	QTRY_VERIFY(updaterSettings().contains("update/lastCheck"));
	QCOMPARE(server_.requests().first(), QByteArray("GET /downloads/obs-plugin/latest.json"));
	QCOMPARE(server_.lastUserAgent(), QByteArray("Ostrelo-OBS/4.4.1"));
	QTest::qWait(300);
	QCOMPARE(server_.requests().size(), 1);
	QVERIFY(boxes_.isEmpty());
}

void UpdaterTest::httpsGetRules_data()
{
	QTest::addColumn<QString>("url");
	QTest::addColumn<int>("status");
	QTest::addColumn<QString>("error");
	QTest::addColumn<QByteArray>("request");
	const QString host = QString::fromLatin1(kHost);
	const QString https = QStringLiteral("HTTPS is required");
	const QString unexpected = QStringLiteral("unexpected host");
	QTest::newRow("plain http") << "http://" + host + "/probe" << 0 << https << QByteArray();
	QTest::newRow("ftp") << "ftp://" + host + "/probe" << 0 << https << QByteArray();
	QTest::newRow("not a URL") << QString() << 0 << https << QByteArray();
	QTest::newRow("other host") << "https://other.example/probe" << 0 << unexpected << QByteArray();
	QTest::newRow("host as a prefix")
		<< "https://" + host + ".evil.example/probe" << 0 << unexpected << QByteArray();
	QTest::newRow("vendor host") << "https://" + host + "/probe" << 200 << QString() << QByteArray("GET /probe");
	QTest::newRow("www name") << "https://www." + host + "/probe" << 200 << QString() << QByteArray("GET /probe");
	QTest::newRow("scheme in capitals")
		<< "HTTPS://" + host + "/probe" << 200 << QString() << QByteArray("GET /probe");
	QTest::newRow("encoded path and query")
		<< "https://" + host + "/a%20b/c?x=1%262" << 200 << QString() << QByteArray("GET /a%20b/c?x=1%262");
	QTest::newRow("status passed on")
		<< "https://" + host + "/missing" << 404 << QString() << QByteArray("GET /missing");
	QTest::newRow("nobody listening")
		<< "https://" + host + ":444/probe" << 0 << transportError("connect", 7) << QByteArray();
}

void UpdaterTest::httpsGetRules()
{
	QFETCH(QString, url);
	QFETCH(int, status);
	QFETCH(QString, error);
	QFETCH(QByteArray, request);
	server_.setResponse("/probe", {200, "hello"});
	server_.setResponse("/a%20b/c?x=1%262", {200, "hello"});

	QByteArray body;
	QString text = QStringLiteral("stale");
	QCOMPARE(updateHttpsGet(QUrl(url), &body, nullptr, 1000, &text), status);
	QCOMPARE(text, error);
	if (status == 200)
		QCOMPARE(body, QByteArray("hello"));
	const QList<QByteArray> expected = request.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{request};
	QCOMPARE(server_.requests(), expected);
}

void UpdaterTest::httpsGetLimits()
{
	const QUrl url(QStringLiteral("https://%1/probe").arg(QLatin1String(kHost)));
	server_.setResponse("/probe", {200, "hello"});
	QByteArray body;
	QString error;
	QCOMPARE(updateHttpsGet(url, &body, nullptr, 5, &error), 200);
	QCOMPARE(body, QByteArray("hello"));
	body.clear();
	QCOMPARE(updateHttpsGet(url, &body, nullptr, 4, &error), 0);
	QCOMPARE(error, QStringLiteral("response too large"));

	QBuffer device;
	device.open(QIODevice::WriteOnly);
	body.clear();
	QCOMPARE(updateHttpsGet(url, &body, &device, 5, &error), 200);
	QCOMPARE(device.data(), QByteArray("hello"));
	QCOMPARE(body, QByteArray("hello"));

	QBuffer readOnly;
	readOnly.open(QIODevice::ReadOnly);
	QCOMPARE(updateHttpsGet(url, nullptr, &readOnly, 5, &error), 0);
	QCOMPARE(error, QStringLiteral("could not write the download"));

	server_.setResponse("/probe", {200, "hello", -1, 2});
	QCOMPARE(updateHttpsGet(url, nullptr, nullptr, 5, &error), 0);
	QCOMPARE(error, transportError("read", 18));
}

void UpdaterTest::onlyTheTestBuildTrustsTheTestServer()
{
	setUpdateExtraCaFileForTests(std::string());
	server_.setResponse("/probe", {200, "hello"});
	QString error;
	QCOMPARE(updateHttpsGet(QUrl("https://" + QString::fromLatin1(kHost) + "/probe"), nullptr, nullptr, 5, &error),
		 0);
	QCOMPARE(error, transportError("connect", 60));
	QVERIFY(server_.requests().isEmpty());
}

void UpdaterTest::promptsForNewerVersions_data()
{
	QTest::addColumn<QByteArray>("version");
	QTest::addColumn<bool>("prompted");
	QTest::newRow("4.4.2") << QByteArray("4.4.2") << true;
	QTest::newRow("4.10") << QByteArray("4.10") << true;
	QTest::newRow("5") << QByteArray("5") << true;
	QTest::newRow("4.4.1") << QByteArray("4.4.1") << false;
	QTest::newRow("4.4.1.0") << QByteArray("4.4.1.0") << false;
	QTest::newRow("4.4.0.9") << QByteArray("4.4.0.9") << false;
	QTest::newRow("leading letter") << QByteArray("v5.0") << false;
}

void UpdaterTest::promptsForNewerVersions()
{
	QFETCH(QByteArray, version);
	QFETCH(bool, prompted);
	serveManifest(manifestJson(version, installerUrl(), sha256Of(installer_), "Faster reading."));
	runCheck();

	QVERIFY(updaterSettings().contains("update/lastCheck"));
	QCOMPARE(boxes_.size(), prompted ? 1 : 0);
	QCOMPARE(server_.requests().size(), 1); // "Later" downloads nothing
	QVERIFY(!updaterSettings().contains("update/skippedVersion"));
	if (!prompted)
		return;
	const MessageBoxContent &box = boxes_.first();
	QCOMPARE(box.icon, QMessageBox::Information);
	QCOMPARE(box.title, QStringLiteral("Ostrelo"));
	QCOMPARE(box.text, QStringLiteral("Ostrelo update available v") + QString::fromLatin1(version));
	QCOMPARE(box.informativeText, QStringLiteral("Faster reading."));
	QVERIFY(!box.parent);
	QCOMPARE(box.customButtons.size(), 3);
	QCOMPARE(box.customButtons[kUpdate].text, QStringLiteral("Update"));
	QCOMPARE(box.customButtons[kUpdate].role, QMessageBox::AcceptRole);
	QCOMPARE(box.customButtons[kLater].text, QStringLiteral("Later"));
	QCOMPARE(box.customButtons[kLater].role, QMessageBox::RejectRole);
	QCOMPARE(box.customButtons[kSkip].text, QStringLiteral("Skip this version"));
	QCOMPARE(box.customButtons[kSkip].role, QMessageBox::DestructiveRole);
	QCOMPARE(box.defaultCustomButton, int(kLater));
}

void UpdaterTest::skippedVersions()
{
	const QByteArray sha = sha256Of(installer_);
	updaterSettings().setValue("update/skippedVersion", "4.4.2");
	promptForUpdate(offer("4.4.2", sha));
	QVERIFY(boxes_.isEmpty());
	QVERIFY(updaterSettings().contains("update/lastCheck"));

	answer_ = kSkip;
	promptForUpdate(offer("4.4.3", sha));
	QCOMPARE(boxes_.size(), 1);
	QVERIFY(boxes_.first().informativeText.isEmpty()); // no notes, no informative text
	QCOMPARE(updaterSettings().value("update/skippedVersion").toString(), QStringLiteral("4.4.3"));
	promptForUpdate(offer("4.4.3", sha));
	QCOMPARE(boxes_.size(), 1);
	QVERIFY(server_.requests().isEmpty());
}

void UpdaterTest::refusedOffers_data()
{
	QTest::addColumn<QByteArray>("url");
	QTest::addColumn<QByteArray>("sha");
	QTest::addColumn<bool>("prompted");
	const QByteArray good = sha256Of(installer_);
	const QByteArray base = "https://" + kHost + "/downloads/";
	QTest::newRow("capital extension accepted") << base + "Setup.EXE" << good << true;
	QTest::newRow("capital hex accepted") << installerUrl() << good.toUpper() << true;
	QTest::newRow("plain http") << "http://" + kHost + "/downloads/Setup.exe" << good << false;
	QTest::newRow("other host") << QByteArray("https://downloads.example/Setup.exe") << good << false;
	QTest::newRow("at sign") << base + "x@downloads.example/Setup.exe" << good << false;
	QTest::newRow("dot dot") << base + "../Setup.exe" << good << false;
	// Escaped in the JSON; one backslash in the URL.
	QTest::newRow("backslash") << base + "a\\\\Setup.exe" << good << false;
	QTest::newRow("mixed-case extension") << base + "Setup.Exe" << good << false;
	QTest::newRow("port") << "https://" + kHost + ":443/downloads/Setup.exe" << good << false;
	QTest::newRow("63 hex digits") << installerUrl() << good.left(63) << false;
	QTest::newRow("65 hex digits") << installerUrl() << good + "0" << false;
	QTest::newRow("not hex") << installerUrl() << good.left(63) + "z" << false;
	QTest::newRow("no checksum") << installerUrl() << QByteArray() << false;
}

void UpdaterTest::refusedOffers()
{
	QFETCH(QByteArray, url);
	QFETCH(QByteArray, sha);
	QFETCH(bool, prompted);
	serveManifest(manifestJson("4.4.2", url, sha));
	answer_ = kUpdate;
	runCheck();
	QVERIFY(updaterSettings().contains("update/lastCheck"));
	if (!prompted) {
		QVERIFY(boxes_.isEmpty());
		QCOMPARE(server_.requests().size(), 1);
		QVERIFY(launched_.isEmpty());
		QVERIFY(QDir(tempDir_).isEmpty());
	} else {
		QCOMPARE(boxes_.size(), 2);
		QCOMPARE(server_.requests().size(), 2);
	}
}

void UpdaterTest::checkAtMostOncePerDay_data()
{
	QTest::addColumn<bool>("stored");
	QTest::addColumn<qint64>("ago");
	QTest::addColumn<bool>("checked");
	// Within a second of the boundary the test's clock and the check's may tick apart; the
	// exact boundary (86399 s no, 86400 s yes) is the rules test's.
	QTest::newRow("never checked") << false << qint64(0) << true;
	QTest::newRow("stored zero") << true << qint64(QDateTime::currentSecsSinceEpoch()) << true;
	QTest::newRow("86300 s ago") << true << qint64(86300) << false;
	QTest::newRow("86400 s ago") << true << qint64(86400) << true;
	QTest::newRow("clock set back") << true << qint64(-3600) << false;
}

void UpdaterTest::checkAtMostOncePerDay()
{
	QFETCH(bool, stored);
	QFETCH(qint64, ago);
	QFETCH(bool, checked);
	serveManifest(manifestJson("4.4.1", installerUrl(), sha256Of(installer_)));
	const qint64 last = QDateTime::currentSecsSinceEpoch() - ago;
	if (stored)
		updaterSettings().setValue("update/lastCheck", last);
	runCheck();
	QCOMPARE(server_.requests().size(), checked ? 1 : 0);
	if (!checked)
		QCOMPARE(updaterSettings().value("update/lastCheck").toLongLong(), last);
	else
		QVERIFY(updaterSettings().value("update/lastCheck").toLongLong() >=
			QDateTime::currentSecsSinceEpoch() - 5);
}

void UpdaterTest::lastCheckStoredOnlyWhenCompleted_data()
{
	QTest::addColumn<int>("status");
	QTest::addColumn<QByteArray>("body");
	QTest::addColumn<qint64>("cutAfter");
	QTest::addColumn<bool>("stored");
	QTest::addColumn<int>("level");
	QTest::addColumn<QString>("log");
	QTest::addColumn<bool>("prompted");
	const QByteArray newer = manifestJson("4.4.2", installerUrl(), sha256Of(installer_));
	QByteArray atCap = newer;
	atCap.append(QByteArray(0x10000 - atCap.size(), ' '));
	QTest::newRow("current version") << 200 << manifestJson("4.4.1", installerUrl(), sha256Of(installer_))
					 << qint64(-1) << true << 0 << QString() << false;
	QTest::newRow("manifest at the cap") << 200 << atCap << qint64(-1) << true << 0 << QString() << true;
	QTest::newRow("version is a number")
		<< 200 << QByteArray(R"({"version": 5, "notes": "x"})") << qint64(-1) << true << int(LOG_WARNING)
		<< QStringLiteral("Ostrelo update manifest was not valid.") << false;
	QTest::newRow("404") << 404 << QByteArray("gone") << qint64(-1) << false << int(LOG_INFO)
			     << QStringLiteral("Ostrelo update check failed (HTTP 404): ") << false;
	QTest::newRow("500 with a manifest") << 500 << newer << qint64(-1) << false << int(LOG_INFO)
					     << QStringLiteral("Ostrelo update check failed (HTTP 500): ") << false;
	QTest::newRow("manifest over the cap")
		<< 200 << atCap + " " << qint64(-1) << false << int(LOG_INFO)
		<< QStringLiteral("Ostrelo update check failed (HTTP 0): response too large") << false;
	QTest::newRow("connection cut") << 200 << newer << qint64(10) << false << int(LOG_INFO)
					<< "Ostrelo update check failed (HTTP 0): " + transportError("read", 18)
					<< false;
}

void UpdaterTest::lastCheckStoredOnlyWhenCompleted()
{
	QFETCH(int, status);
	QFETCH(QByteArray, body);
	QFETCH(qint64, cutAfter);
	QFETCH(bool, stored);
	QFETCH(int, level);
	QFETCH(QString, log);
	QFETCH(bool, prompted);
	server_.setResponse("/downloads/obs-plugin/latest.json", {status, body, -1, cutAfter});
	runCheck();
	QCOMPARE(server_.requests().size(), 1);
	QCOMPARE(updaterSettings().contains("update/lastCheck"), stored);
	QCOMPARE(boxes_.size(), prompted ? 1 : 0);
	const QList<LogLine> lines = logLines();
	if (log.isEmpty()) {
		QVERIFY(lines.isEmpty());
	} else {
		QCOMPARE(lines.size(), 1);
		QCOMPARE(lines.first().level, level);
		QCOMPARE(lines.first().text, log);
	}
}

void UpdaterTest::downloadOutcomes_data()
{
	QTest::addColumn<TestResponse>("response");
	QTest::addColumn<QByteArray>("sha");
	QTest::addColumn<qint64>("cap");
	QTest::addColumn<bool>("launchResult");
	QTest::addColumn<bool>("launched");
	QTest::addColumn<int>("icon");
	QTest::addColumn<QString>("message");
	QTest::addColumn<bool>("fileKept");

	const QString started = QStringLiteral(
		"Windows may ask for permission. The installer will wait until you close OBS, then finish on "
		"its own. Your Stat Reader regions and other Ostrelo settings are kept.");
	const QString notStarted = QStringLiteral(
		"The installer did not start. You can run it later from your temp folder, or close OBS and try again.");
	const QByteArray sha = sha256Of(installer_);
	const int info = QMessageBox::Information;
	const int warn = QMessageBox::Warning;
	const TestResponse ok{200, installer_};
	QTest::newRow("started, capital hex")
		<< ok << sha.toUpper() << qint64(0) << true << true << info << started << true;
	QTest::newRow("launch refused") << ok << sha << qint64(0) << false << true << warn << notStarted << true;
	QTest::newRow("404") << TestResponse{404, "no such file"} << sha << qint64(0) << true << false << warn
			     << QStringLiteral("The update download failed.") << false;
	QTest::newRow("checksum mismatch")
		<< TestResponse{200, installer_ + "x"} << sha << qint64(0) << true << false << warn
		<< QStringLiteral("The installer did not match the expected checksum. It was not run.") << false;
	QTest::newRow("over the cap") << ok << sha << qint64(installer_.size() - 1) << true << false << warn
				      << QStringLiteral("response too large") << false;
	QTest::newRow("at the cap") << ok << sha << qint64(installer_.size()) << true << true << info << started
				    << true;
	QTest::newRow("connection cut") << TestResponse{200, installer_, -1, 1000} << sha << qint64(0) << true << false
					<< warn << transportError("read", 18) << false;
}

void UpdaterTest::downloadOutcomes()
{
	QFETCH(TestResponse, response);
	QFETCH(QByteArray, sha);
	QFETCH(qint64, cap);
	QFETCH(bool, launchResult);
	QFETCH(bool, launched);
	QFETCH(int, icon);
	QFETCH(QString, message);
	QFETCH(bool, fileKept);
	server_.setResponse(kInstallerPath, response);
	setInstallerMaxBytesForTests(cap);
	launchResult_ = launchResult;
	answer_ = kUpdate;

	promptForUpdate(offer("4.4.2", sha));

	const QString path = QDir(tempDir_).filePath("Ostrelo-for-OBS-Setup-4.4.2.exe");
	QCOMPARE(server_.requests().size(), 1);
	QCOMPARE(boxes_.size(), 2);
	QCOMPARE(int(boxes_.last().icon), icon);
	QCOMPARE(boxes_.last().title, QStringLiteral("Ostrelo"));
	QCOMPARE(boxes_.last().text, message);
	QCOMPARE(boxes_.last().standardButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
	QCOMPARE(QFile::exists(path), fileKept);
	QCOMPARE(launched_, launched ? QStringList{QDir::toNativeSeparators(path)} : QStringList());
	if (launched) {
		QVERIFY2(heldDuringLaunch_, "the checked file is held open until the launch returns");
		QVERIFY(!heldOpenHere(path));
	}
	if (fileKept) {
		QFile file(path);
		QVERIFY(file.open(QIODevice::ReadOnly));
		QCOMPARE(file.readAll(), installer_);
	}
	const bool mismatch = message.startsWith("The installer did not match");
	const QList<LogLine> lines = logLines();
	QCOMPARE(lines.size(), mismatch ? 1 : 0);
	if (mismatch) {
		QCOMPARE(lines.first().level, int(LOG_WARNING));
		QCOMPARE(lines.first().text,
			 QStringLiteral("Ostrelo update: SHA-256 mismatch, installer was not run."));
	}
}

void UpdaterTest::tempFileCannotBeCreated()
{
	// A folder where the installer should go: nothing can be written there (not even by root).
	QVERIFY(QDir().mkpath(installerTempPath("4.4.2")));
	answer_ = kUpdate;
	promptForUpdate(offer("4.4.2", sha256Of(installer_)));
	QCOMPARE(boxes_.size(), 2);
	QCOMPARE(boxes_.last().icon, QMessageBox::Warning);
	QCOMPARE(boxes_.last().text, QStringLiteral("Could not write the installer to the temp folder."));
	QVERIFY(server_.requests().isEmpty());
	QVERIFY(launched_.isEmpty());

	// A temp folder that does not exist: Qt names none, and the name alone would land in
	// the working folder.
	qputenv("TMPDIR", QFile::encodeName(dir_.filePath("no-such-folder")));
	const QString workingFolder = QDir::currentPath();
	const QStringList before = QDir(workingFolder).entryList();
	promptForUpdate(offer("4.4.3", sha256Of(installer_)));
	qputenv("TMPDIR", QFile::encodeName(tempDir_));
	QCOMPARE(boxes_.size(), 4);
	QCOMPARE(boxes_.last().text, QStringLiteral("Could not write the installer to the temp folder."));
	QCOMPARE(QDir(workingFolder).entryList(), before);
	QVERIFY(server_.requests().isEmpty());
}

void UpdaterTest::installerStaysInTheTempFolder_data()
{
	QTest::addColumn<QByteArray>("version");
	QTest::addColumn<QString>("name");
	QTest::newRow("parent folders") << QByteArray("5/../../../x") << "Ostrelo-for-OBS-Setup-5_.._.._.._x.exe";
	QTest::newRow("backslashes") << QByteArray("5\\..\\..\\x") << "Ostrelo-for-OBS-Setup-5_.._.._x.exe";
	QTest::newRow("drive") << QByteArray("5:C:\\x") << "Ostrelo-for-OBS-Setup-5_C__x.exe";
	QTest::newRow("control characters") << QByteArray("5\n\t\x01") << "Ostrelo-for-OBS-Setup-5___.exe";
	QTest::newRow("absolute path") << QByteArray("5/tmp/x") << "Ostrelo-for-OBS-Setup-5_tmp_x.exe";
}

void UpdaterTest::installerStaysInTheTempFolder()
{
	QFETCH(QByteArray, version);
	QFETCH(QString, name);
	const QStringList before = QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
	answer_ = kUpdate;
	promptForUpdate(offer(version, sha256Of(installer_)));
	QCOMPARE(launched_, QStringList{QDir(tempDir_).filePath(name)});
	QCOMPARE(QDir(tempDir_).entryList(QDir::Files), QStringList{name});
	QCOMPARE(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

void UpdaterTest::earlierFileIsReplacedNotWrittenThrough()
{
	const QString path = installerTempPath("4.4.2");
	{
		QFile earlier(path);
		QVERIFY(earlier.open(QIODevice::WriteOnly));
		earlier.write(QByteArray(installer_.size() * 2, 'e'));
	}
	answer_ = kUpdate;
	promptForUpdate(offer("4.4.2", sha256Of(installer_)));
	QCOMPARE(launched_.size(), 1);

	// A link planted at the name is replaced, not followed.
	const QString outside = dir_.filePath("outside.txt");
	{
		QFile precious(outside);
		QVERIFY(precious.open(QIODevice::WriteOnly));
		precious.write("precious");
	}
	QVERIFY(QFile::remove(path));
	QVERIFY(QFile::link(outside, path));
	promptForUpdate(offer("4.4.2", sha256Of(installer_)));
	QCOMPARE(launched_.size(), 2);
	QVERIFY(!QFileInfo(path).isSymLink());
	QFile precious(outside);
	QVERIFY(precious.open(QIODevice::ReadOnly));
	QCOMPARE(precious.readAll(), QByteArray("precious"));
}

void UpdaterTest::applicationQuitMidDownload()
{
	// OBS closes while the installer is still coming: the local loop returns with the task
	// still running. Nothing may be reported, and the task must clean up after itself.
	server_.setResponse(kInstallerPath, {200, installer_, 1000});
	answer_ = kUpdate;
	bool returned = false;
	QTimer::singleShot(0, qApp, [&] {
		promptForUpdate(offer("4.4.2", sha256Of(installer_)));
		returned = true;
	});
	QTimer quitOnceHeld;
	connect(&quitOnceHeld, &QTimer::timeout, qApp, [&] {
		if (server_.heldCount() > 0)
			QCoreApplication::exit(0);
	});
	quitOnceHeld.start(5);
	QTimer guard;
	guard.setSingleShot(true);
	connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
	guard.start(20000);
	QCOMPARE(QCoreApplication::exec(), 0);
	quitOnceHeld.stop();
	guard.stop();

	QVERIFY(returned);
	QCOMPARE(boxes_.size(), 1); // the prompt only

	server_.release();
	QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
	QCoreApplication::sendPostedEvents();
	QTest::qWait(50);
	QCOMPARE(boxes_.size(), 1);
	QVERIFY(launched_.isEmpty());
	QVERIFY2(QDir(tempDir_).isEmpty(), "the task removes what it had written");
}

int main(int argc, char **argv)
{
	// Before any application object exists the module schedules nothing and says nothing.
	qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
		g_qtMessagesWithoutApp.append(text);
	});
	base_set_log_handler(captureLog, nullptr);
	g_scheduledWithoutApp = scheduleUpdateCheck(0);
	if (!logLines().isEmpty())
		g_qtMessagesWithoutApp.append(logLines().first().text);
	qInstallMessageHandler(nullptr);

	QApplication app(argc, argv);
	UpdaterTest test;
	return QTest::qExec(&test, argc, argv);
}

#include "update_test.moc"
