// The dock offscreen: a fake front end, real libobs for scene lookups and installs, and a
// loopback server in place of the layout endpoint.

// QtTest first: libobs' SIMD emulation headers clash with the intrinsics it pulls in after them.
#include <QtTest>

#include "common/build_config.h"
#include "common/qt/message_boxes.h"
#include "dock/dock_registration.h"
#include "dock/layout_fetch.h"
#include "dock/ostrelo_dock.h"
#include "tests/dock/fake_frontend.h"
#include "tests/support/log_capture.h"
#include "tests/dock/loopback_server.h"

#include <obs-nix-platform.h>
#include <obs.hpp>
#include <util/bmem.h>

#include <QApplication>
#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QJsonDocument>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <X11/Xlib.h>

using namespace ostrelo;

namespace {

const char *const kCollection = R"({"scene_order":[],"ostrelo":{"canvas":"1920x1080"},"sources":[
	{"id":"ostrelo_test_capture","name":"Game capture"},
	{"id":"scene","name":"Installed scene","settings":{"items":[{"name":"Game capture"}]}}]})";

QPushButton *button(QWidget *dock, const QString &text)
{
	for (QPushButton *b : dock->findChildren<QPushButton *>())
		if (b->text() == text)
			return b;
	return nullptr;
}

// A collection with one scene "Big", padded to exactly this many bytes.
QByteArray paddedCollection(int size)
{
	QByteArray json = R"({"scene_order":[],"sources":[{"id":"scene","name":"Big"}],"padding":")";
	json += QByteArray(size - json.size() - 2, 'a') + "\"}";
	return json;
}

QString storedToken()
{
	return QSettings("Pellworth", "OstreloOBS").value("overlayToken").toString();
}

} // namespace

class OstreloDockTest : public QObject {
	Q_OBJECT

	std::shared_ptr<test::FakeFrontend> frontend;
	test::LoopbackServer *server = nullptr;
	QList<MessageBoxContent> boxes;
	bool answerYes = true;
	QTemporaryDir settingsDir;
	Display *display = nullptr;

	std::unique_ptr<OstreloDock> makeDock()
	{
		DockOptions options = DockOptions::defaults();
		options.layoutEndpoint = server->endpoint();
		options.openUrl = [](const QUrl &) { QFAIL("no browser in tests"); };
		return std::make_unique<OstreloDock>(frontend, options);
	}

	QStringList items(QComboBox *combo)
	{
		QStringList texts;
		for (int i = 0; i < combo->count(); ++i)
			texts.append(combo->itemText(i) + "=" + combo->itemData(i).toString());
		return texts;
	}

private slots:
	void initTestCase()
	{
		QStandardPaths::setTestModeEnabled(true);
		QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
		XInitThreads();
		display = XOpenDisplay(nullptr);
		QVERIFY2(display, "no X display (run under tests/support/with-display.sh)");
		obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
		obs_set_nix_platform_display(display);
		QVERIFY(obs_startup("en-US", nullptr, nullptr));
	}

	void cleanupTestCase()
	{
		setMessageBoxHandler({});
		obs_shutdown();
		QCOMPARE(bnum_allocs(), 0);
		XCloseDisplay(display);
	}

	void init()
	{
		QSettings("Pellworth", "OstreloOBS").clear();
		frontend = std::make_shared<test::FakeFrontend>();
		server = new test::LoopbackServer;
		boxes.clear();
		answerYes = true;
		setMessageBoxHandler([this](const MessageBoxContent &content) {
			boxes.append(content);
			const bool question = content.standardButtons.testFlag(QMessageBox::Yes);
			return MessageBoxAnswer{
				question ? (answerYes ? QMessageBox::Yes : QMessageBox::No) : QMessageBox::Ok, -1};
		});
	}

	void cleanup()
	{
		frontend.reset();
		delete server;
	}

	void settingsStayInTheTestFolder()
	{
		QSettings("Pellworth", "OstreloOBS").setValue("overlayToken", "x");
		QSettings("Pellworth", "OstreloOBS").sync();
		QVERIFY(QFile::exists(settingsDir.filePath("Pellworth/OstreloOBS.conf")));
	}

	void statusLine_data()
	{
		QTest::addColumn<bool>("streaming");
		QTest::addColumn<bool>("recording");
		QTest::addColumn<QString>("status");
		QTest::newRow("idle") << false << false << QString("○ OBS is idle");
		QTest::newRow("live") << true << false << QString("● Live");
		QTest::newRow("recording") << false << true << QString("● Recording");
		QTest::newRow("both") << true << true << QString("● Live  ·  ● Recording");
	}

	void statusLine()
	{
		QFETCH(bool, streaming);
		QFETCH(bool, recording);
		QFETCH(QString, status);
		auto dock = makeDock();
		QCOMPARE(dock->statusLabel()->text(), QString("○ OBS is idle"));
		frontend->streaming = streaming;
		frontend->recording = recording;
		// The refresh timer picks the change up by itself.
		QTRY_COMPARE_WITH_TIMEOUT(dock->statusLabel()->text(), status, 4000);
	}

	void sceneComboKeepsTheChoiceAndFollowsRenames()
	{
		frontend->scenes = {"Intro", "Game", "Outro"};
		frontend->current = "Game";
		auto dock = makeDock();
		QComboBox *combo = dock->sceneCombo();
		QCOMPARE(combo->currentText(), QString("Game")); // preselected while nothing was chosen

		combo->setCurrentIndex(2);
		frontend->current = "Intro";
		dock->refreshStatus();
		dock->refreshStatus();
		QCOMPARE(combo->currentText(), QString("Outro"));

		frontend->scenes = {"Intro", "Game", "Finale"}; // "Outro" renamed
		dock->refreshStatus();
		QCOMPARE(combo->count(), 3);
		QCOMPARE(combo->itemText(2), QString("Finale"));
		QCOMPARE(combo->currentText(), QString("Intro"));

		combo->setCurrentIndex(1);
		frontend->scenes = {"Game", "Intro", "Finale"}; // reordered: refilled, choice kept
		dock->refreshStatus();
		QCOMPARE(combo->itemText(0), QString("Game"));
		QCOMPARE(combo->currentText(), QString("Game"));

		frontend->scenes.clear();
		dock->refreshStatus();
		QCOMPARE(combo->count(), 0);
		button(dock.get(), "Switch to selected scene")->click();
		QVERIFY(boxes.isEmpty());
		QVERIFY(frontend->madeCurrent.isEmpty());
	}

	void switchToSelectedScene()
	{
		OBSSceneAutoRelease stage = obs_scene_create("Stage");
		OBSSourceAutoRelease notAScene = obs_source_create("ostrelo_test_capture", "Capture", nullptr, nullptr);
		frontend->scenes = {"Stage", "Capture", "Gone"};
		auto dock = makeDock();

		dock->sceneCombo()->setCurrentText("Gone");
		frontend->streaming = true;
		button(dock.get(), "Switch to selected scene")->click();
		QCOMPARE(boxes.size(), 1);
		QCOMPARE(boxes[0].title, QString("Ostrelo"));
		QCOMPARE(boxes[0].text, QString("The OBS scene no longer exists."));
		QCOMPARE(boxes[0].icon, QMessageBox::Warning);
		QCOMPARE(dock->statusLabel()->text(), QString("○ OBS is idle")); // nothing else ran

		dock->sceneCombo()->setCurrentText("Capture");
		button(dock.get(), "Switch to selected scene")->click();
		QCOMPARE(boxes.size(), 1);
		QVERIFY(frontend->madeCurrent.isEmpty());
		QCOMPARE(dock->statusLabel()->text(), QString("● Live")); // only the refresh ran

		dock->sceneCombo()->setCurrentText("Stage");
		button(dock.get(), "Switch to selected scene")->click();
		QCOMPARE(frontend->madeCurrent, QStringList{"Stage"});
	}

	void streamAndRecordingButtons_data()
	{
		QTest::addColumn<QString>("clicked");
		QTest::addColumn<bool>("active");
		QTest::addColumn<bool>("yes");
		QTest::addColumn<QString>("question"); // empty: no box
		QTest::addColumn<bool>("activeAfter");
		const QString stream = "Stop stream?|Stop your active OBS stream?";
		const QString rec = "Stop recording?|Stop the current OBS recording?";
		QTest::newRow("start stream") << "Start stream" << false << true << "" << true;
		QTest::newRow("start stream, already live") << "Start stream" << true << true << "" << true;
		QTest::newRow("stop stream, yes") << "Stop stream" << true << true << stream << false;
		QTest::newRow("stop stream, no") << "Stop stream" << true << false << stream << true;
		QTest::newRow("stop stream, idle") << "Stop stream" << false << true << "" << false;
		QTest::newRow("start recording") << "Start recording" << false << true << "" << true;
		QTest::newRow("stop recording, yes") << "Stop recording" << true << true << rec << false;
		QTest::newRow("stop recording, no") << "Stop recording" << true << false << rec << true;
		QTest::newRow("stop recording, idle") << "Stop recording" << false << true << "" << false;
	}

	void streamAndRecordingButtons()
	{
		QFETCH(QString, clicked);
		QFETCH(bool, active);
		QFETCH(bool, yes);
		QFETCH(QString, question);
		QFETCH(bool, activeAfter);
		const bool stream = clicked.contains("stream");
		(stream ? frontend->streaming : frontend->recording) = active;
		auto dock = makeDock();
		answerYes = yes;
		(stream ? frontend->recording : frontend->streaming) = true; // the other output, seen only on refresh
		button(dock.get(), clicked)->click();

		QCOMPARE(stream ? frontend->streaming : frontend->recording, activeAfter);
		QCOMPARE(frontend->streamStarts + frontend->recordStarts, int(!active && activeAfter));
		QCOMPARE(frontend->streamStops + frontend->recordStops, int(active && !activeAfter));
		QCOMPARE(boxes.size(), int(!question.isEmpty()));
		if (!question.isEmpty()) {
			QCOMPARE(boxes[0].title + "|" + boxes[0].text, question);
			QCOMPARE(boxes[0].standardButtons, QMessageBox::Yes | QMessageBox::No);
		}
		QVERIFY(dock->statusLabel()->text().contains(stream ? "Recording" : "Live")); // refreshed
	}

	void comingSoonCardsToggle()
	{
		auto dock = makeDock();
		auto *group = dock->findChild<QGroupBox *>("ComingSoon");
		QVERIFY(group && group->isCheckable() && !group->isChecked());
		const QList<QLabel *> cards = group->findChildren<QLabel *>();
		QCOMPARE(cards.size(), 8);
		QCOMPARE(cards[0]->text(), QString("<b>Vertical canvas</b> · Coming soon"));
		QCOMPARE(cards[6]->text(), QString("<b>Goals sync</b> · Coming soon"));
		QVERIFY(cards[7]->wordWrap());
		auto hidden = [&] {
			int n = 0;
			for (QLabel *card : cards)
				n += card->isHidden();
			return n;
		};
		QCOMPARE(hidden(), 0);
		for (const auto &[checked, hiddenCards] : {std::pair{true, 0}, {false, 8}, {true, 0}}) {
			group->setChecked(checked);
			QCOMPARE(hidden(), hiddenCards);
		}
	}

	void tokenExtractedStoredAndShownAgain()
	{
		auto dock = makeDock();
		QVERIFY(server->requests.isEmpty()); // no token, no pack list request
		dock->tokenEdit()->setText("  https://overlay.example/o?theme=dark&token=abc123&x=2 \n");
		emit dock->tokenEdit()->editingFinished();
		QCOMPARE(storedToken(), QString("abc123"));
		QCOMPARE(dock->tokenEdit()->text(),
			 QString("  https://overlay.example/o?theme=dark&token=abc123&x=2 \n"));
		QTRY_COMPARE(server->requests.size(), 1);
		QCOMPARE(server->requests[0].method, QByteArray("GET"));
		QCOMPARE(server->requests[0].url.path(), QString("/app/api/studio-obs-layout.php"));
		QCOMPARE(QUrlQuery(server->requests[0].url).query(), QString("token=abc123&list=1"));
		QCOMPARE(server->requests[0].userAgent, QByteArray("Ostrelo-OBS/4.2.2"));

		dock.reset();
		dock = makeDock();
		QCOMPARE(dock->tokenEdit()->text(), QString("abc123"));
		QCOMPARE(dock->tokenEdit()->echoMode(), QLineEdit::PasswordEchoOnEdit);
		QTRY_COMPARE(server->requests.size(), 2); // the stored token lists the packs at start

		// A token with a line break is neither stored nor sent anywhere.
		dock->tokenEdit()->setText("abc\r\nX-Evil: 1");
		emit dock->tokenEdit()->editingFinished();
		QCOMPARE(storedToken(), QString("abc123"));
		QTest::qWait(200);
		QCOMPARE(server->requests.size(), 2);

		dock->tokenEdit()->setText(" ");
		emit dock->tokenEdit()->editingFinished();
		QCOMPARE(storedToken(), QString(""));
		QTest::qWait(200);
		QCOMPARE(server->requests.size(), 2);
	}

	void packListReplacedAndSelectionKeptById()
	{
		QSettings("Pellworth", "OstreloOBS").setValue("overlayToken", "tk");
		server->answer(500, "Server Error", R"({"packs":[{"id":"x","name":"X"}]})");
		auto dock = makeDock();
		QComboBox *packs = dock->packCombo();
		QTRY_COMPARE(server->requests.size(), 1);
		QTest::qWait(100);
		const QStringList initial{"This overlay=", "Starter Layout=__starter"};
		QCOMPARE(items(packs), initial);

		packs->setCurrentIndex(1);
		const struct {
			QByteArray body;
			QStringList items;
			QString current;
		} replies[] = {
			{R"({"packs":[{"id":"neon","name":"Neon"},{"id":"__starter","name":"Starter"},{"id":7}]})",
			 {"Neon=neon", "Starter=__starter", "Pack="},
			 "Starter"},
			{R"({"packs":[]})", {"Neon=neon", "Starter=__starter", "Pack="}, "Starter"},
			{R"({"nothing":1})", {"Neon=neon", "Starter=__starter", "Pack="}, "Starter"},
			{R"({"packs":[{"id":"mono","name":"Mono"},{"id":"neon","name":"Neon"}]})",
			 {"Mono=mono", "Neon=neon"},
			 "Mono"},
		};
		for (const auto &r : replies) {
			server->answer(200, "OK", r.body);
			const int before = server->requests.size();
			emit dock->tokenEdit()->editingFinished();
			QTRY_COMPARE(server->requests.size(), before + 1);
			QTRY_COMPARE(items(packs), r.items);
			QTest::qWait(50);
			QCOMPARE(items(packs), r.items);
			QCOMPARE(packs->currentText(), r.current);
		}
	}

	void installRequestCarriesOrientationAndPack()
	{
		dockWithToken("tk");
		server->answer(200, "OK", "{}");
		auto dock = makeDock();
		QTRY_COMPARE(server->requests.size(), 1);
		const struct {
			int pack, orient;
			QString query;
		} cases[] = {
			{0, 0, "token=tk&orient=landscape"},
			{1, 1, "token=tk&orient=vertical&pack=__starter"},
		};
		for (const auto &c : cases) {
			dock->packCombo()->setCurrentIndex(c.pack);
			dock->orientCombo()->setCurrentIndex(c.orient);
			button(dock.get(), "Install layout")->click();
			QTRY_COMPARE(boxes.size(), 1);
			QCOMPARE(QUrlQuery(server->requests.last().url).query(), c.query);
			QCOMPARE(server->requests.last().userAgent, QByteArray("Ostrelo-OBS/4.2.2"));
			boxes.clear();
		}
	}

	void layoutWarnings_data()
	{
		QTest::addColumn<QString>("token");
		QTest::addColumn<int>("status");
		QTest::addColumn<QByteArray>("body");
		QTest::addColumn<QString>("warning"); // a trailing "*": the text starts so
		QTest::addColumn<bool>("requested");
		QTest::newRow("empty token")
			<< " " << 200 << QByteArray(kCollection)
			<< "Paste your Glasswing token (or a Browser Source URL that contains it)." << false;
		QTest::newRow("line break in the token")
			<< "tk\r\nX-Evil: 1" << 200 << QByteArray(kCollection)
			<< "The overlay token holds a line break or another control character. Paste it again."
			<< false;
		QTest::newRow("control character in a pasted URL")
			<< "https://o.example/?token=tk%0D%0AX" << 200 << QByteArray(kCollection)
			<< "The overlay token holds a line break or another control character. Paste it again."
			<< false;
		QTest::newRow("401 with a collection")
			<< "tk" << 401 << QByteArray(kCollection) << "Could not fetch the layout.\n*" << true;
		QTest::newRow("500") << "tk" << 500 << QByteArray(R"({"error":"Boom"})")
				     << "Could not fetch the layout.\n*" << true;
		QTest::newRow("2xx error")
			<< "tk" << 200 << QByteArray(R"({"error":"Token expired"})") << "Token expired" << true;
		QTest::newRow("2xx error and half a collection")
			<< "tk" << 200 << QByteArray(R"({"error":"Pack retired","sources":[]})") << "Pack retired"
			<< true;
		QTest::newRow("2xx empty error") << "tk" << 200 << QByteArray(R"({"error":""})")
						 << "The server did not return a valid OBS collection." << true;
		QTest::newRow("2xx not json") << "tk" << 200 << QByteArray("<html>oops</html>")
					      << "The server did not return a valid OBS collection." << true;
		QTest::newRow("collection over 16 MiB")
			<< "tk" << 200 << paddedCollection(16 * 1024 * 1024 + 1)
			<< "Could not fetch the layout.\nThe reply is larger than 16 MiB." << true;
	}

	void layoutWarnings()
	{
		QFETCH(QString, token);
		QFETCH(int, status);
		QFETCH(QByteArray, body);
		QFETCH(QString, warning);
		QFETCH(bool, requested);
		server->answer(status, status == 200 ? "OK" : "Nope", body);
		auto dock = makeDock();
		dock->tokenEdit()->setText(token);
		button(dock.get(), "Install layout")->click();
		QTRY_COMPARE(boxes.size(), 1);
		QTest::qWait(50);
		QCOMPARE(boxes.size(), 1);
		QCOMPARE(boxes[0].title, QString("Ostrelo"));
		QCOMPARE(boxes[0].icon, QMessageBox::Warning);
		QCOMPARE(boxes[0].standardButtons, QMessageBox::Ok);
		if (warning.endsWith('*')) {
			warning.chop(1);
			QVERIFY2(boxes[0].text.startsWith(warning) && boxes[0].text.size() > warning.size(),
				 qPrintable(boxes[0].text));
		} else {
			QCOMPARE(boxes[0].text, warning);
		}
		QVERIFY(frontend->madeCurrent.isEmpty());
		QCOMPARE(server->requests.size(), requested ? 1 : 0);
		if (!requested)
			QCOMPARE(storedToken(), QString());
	}

	void layoutReplyInstallsTheCollection()
	{
		frontend->holdCreatedScenes();
		server->answer(200, "OK", kCollection);
		auto dock = makeDock();
		dock->tokenEdit()->setText("https://o.example/?token=tk");
		button(dock.get(), "Install layout")->click();
		QTRY_COMPARE(boxes.size(), 1);
		QCOMPARE(storedToken(), QString("tk"));
		QCOMPARE(boxes[0].icon, QMessageBox::Information);
		QVERIFY2(boxes[0].text.startsWith("Installed “Installed scene”.") &&
				 boxes[0].text.endsWith(
					 "Set Settings → Video to 1920×1080. A collection cannot set the canvas size."),
			 qPrintable(boxes[0].text));
		QCOMPARE(frontend->madeCurrent, QStringList{"Installed scene"});
		QCOMPARE(dock->sceneCombo()->findText("Installed scene"), 0); // refreshed
	}

	void loadJsonFile_data()
	{
		QTest::addColumn<QByteArray>("content"); // null: no file at all
		QTest::addColumn<QString>("box");
		const QString invalid = "That file is not a valid OBS Scene Collection.";
		const QByteArray collection(kCollection);
		QTest::newRow("missing") << QByteArray() << "Could not read that file.";
		QTest::newRow("truncated") << collection.left(collection.size() / 2) << invalid;
		QTest::newRow("array") << QByteArray("[{\"sources\":[],\"scene_order\":[]}]") << invalid;
		QTest::newRow("empty") << QByteArray("") << invalid;
		QTest::newRow("sources of the wrong type")
			<< QByteArray(R"({"sources":"all","scene_order":5})") << "The file has no OBS sources.";
		QTest::newRow("wrong types everywhere")
			<< QByteArray(R"({"sources":[{"id":5,"name":[],"settings":"x"},{"id":"scene","name":7,
				"settings":{"items":[{"name":{},"pos":"x","scale":null,"crop_left":"1","rot":[],"visible":3}]}}],
				"scene_order":null,"ostrelo":7})")
			<< "Installed “Source 2”.";
		QTest::newRow("deeply nested") << QByteArray(200000, '[') << invalid;
		QTest::newRow("deep inside a collection")
			<< QByteArray(R"({"scene_order":[],"sources":[{"id":"scene","name":"Deep","x":)") +
				   QByteArray(5000, '[') + QByteArray(5000, ']') + "}]}"
			<< invalid;
		const QByteArray atCap = paddedCollection(16 * 1024 * 1024);
		QTest::newRow("16 MiB") << atCap << "Installed “Big”.";
		QTest::newRow("16 MiB, truncated") << atCap.left(atCap.size() - 3) << invalid;
		QTest::newRow("a byte over 16 MiB")
			<< paddedCollection(atCap.size() + 1)
			<< "That file is larger than 16 MiB, too large for an OBS Scene Collection.";
	}

	void loadJsonFile()
	{
		QFETCH(QByteArray, content);
		QFETCH(QString, box);
		frontend->holdCreatedScenes();
		QTemporaryDir dir;
		const QString path = dir.filePath("collection.json");
		if (!content.isNull()) {
			QFile file(path);
			QVERIFY(file.open(QIODevice::WriteOnly));
			file.write(content);
		}
		auto dock = makeDock();
		dock->loadCollectionFromPath(path);
		QCOMPARE(boxes.size(), 1);
		QCOMPARE(boxes[0].title, QString("Ostrelo"));
		QVERIFY2(boxes[0].text.startsWith(box), qPrintable(boxes[0].text));
	}

	// The real boxes this time: text from the server or a manifest shows as typed, markup and
	// all, never as rich text.
	void outsideTextShowsAsPlainText_data()
	{
		QTest::addColumn<bool>("fromServer"); // else as the informative text of a prompt
		QTest::newRow("layout reply") << true;
		QTest::newRow("informative text") << false;
	}

	void outsideTextShowsAsPlainText()
	{
		QFETCH(bool, fromServer);
		setMessageBoxHandler({});
		QStringList labels; // the text of every label of the box, marked when not plain
		QTimer closer;
		connect(&closer, &QTimer::timeout, this, [&] {
			auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
			if (!box)
				return;
			for (QLabel *label : box->findChildren<QLabel *>())
				if (!label->text().isEmpty())
					labels.append(label->text() +
						      (label->textFormat() == Qt::PlainText ? "" : " (not plain)"));
			box->done(0);
		});
		closer.start(20);

		const QString markup = R"(<b>Token</b> <a href="https://x.example">expired</a><img src="x">)";
		auto dock = makeDock();
		if (fromServer) {
			server->answer(200, "OK", QJsonDocument(QJsonObject{{"error", markup}}).toJson());
			dock->tokenEdit()->setText("tk");
			button(dock.get(), "Install layout")->click();
		} else {
			MessageBoxContent content;
			content.text = "Ostrelo update available v5";
			content.informativeText = markup;
			execMessageBox(content);
		}
		QTRY_VERIFY(!labels.isEmpty());
		QVERIFY2(labels.contains(markup), qPrintable(labels.join('|')));
	}

	void loadJsonFileAsksWithTheDialog()
	{
		QStringList asked;
		QString answer;
		DockOptions options = DockOptions::defaults();
		options.chooseFile = [&](QWidget *parent, const QString &caption, const QString &filter) {
			asked << QString(parent ? parent->objectName() : "") << caption << filter;
			return answer;
		};
		QUrl opened;
		options.openUrl = [&](const QUrl &url) { opened = url; };
		OstreloDock dock(frontend, options);
		button(&dock, "Load JSON file")->click();
		QCOMPARE(asked, (QStringList{"OstreloDockRoot", "Load Ostrelo OBS collection",
					     "OBS Scene Collection (*.json)"}));
		QVERIFY(boxes.isEmpty()); // cancelled: nothing happens
		answer = "/nonexistent/ostrelo.json";
		button(&dock, "Load JSON file")->click();
		QCOMPARE(boxes.size(), 1);
		QCOMPARE(boxes[0].text, QString("Could not read that file."));

		button(&dock, "Open Ostrelo Web Control Room ↗")->click();
		QCOMPARE(opened, webControlRoomUrl());
		QCOMPARE(opened.toString(), "https://" + QString(kVendorHost) + "/ostrelo/");
	}

	// The OBS window gives the dock whatever height it has to spare. Every control must keep
	// its full size and its own place however little that is; the look must hold too.
	void nothingSqueezedClippedOrOverlapping_data()
	{
		QTest::addColumn<QSize>("size");
		QTest::newRow("380x700") << QSize(380, 700);
		QTest::newRow("380x1000") << QSize(380, 1000);
	}

	void nothingSqueezedClippedOrOverlapping()
	{
		QFETCH(QSize, size);
		frontend->scenes = {"Gameplay", "Just chatting", "Be right back"};
		frontend->current = "Gameplay";
		frontend->streaming = true;
		QSettings("Pellworth", "OstreloOBS").setValue("overlayToken", "stored-token");
		// Placed by hand like a docked panel, not a window that grows to its layout's minimum.
		QWidget window;
		auto dock = makeDock();
		window.resize(size);
		dock->setParent(&window);
		dock->setGeometry(QRect(QPoint(0, 0), size));
		window.show();
		QVERIFY(QTest::qWaitForWindowExposed(&window));
		QCOMPARE(dock->size(), size);

		// The controls and the frames that group them; internals of a control are its own.
		QWidget *content = dock->findChild<QLabel *>("Heading")->parentWidget();
		QList<QWidget *> controls;
		for (QWidget *w : content->findChildren<QWidget *>()) {
			const bool grouping = w->objectName() == "Panel" || w->objectName() == "ComingSoon";
			const bool control = qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w) ||
					     qobject_cast<QComboBox *>(w) || qobject_cast<QLineEdit *>(w);
			QWidget *parent = w->parentWidget();
			const bool placed = parent == content || parent->objectName() == "Panel" ||
					    parent->objectName() == "ComingSoon";
			if ((grouping || control) && placed && w->isVisibleTo(&window))
				controls.append(w);
		}
		QVERIFY(controls.size() > 25);
		for (QWidget *w : controls) {
			const auto *label = qobject_cast<QLabel *>(w);
			const QString what =
				w->metaObject()->className() + (" " + (label ? label->text() : w->objectName()));
			const int minHeight = label && label->wordWrap() ? label->heightForWidth(w->width())
									 : w->minimumSizeHint().height();
			QVERIFY2(
				w->width() >= w->minimumSizeHint().width() && w->height() >= minHeight,
				qPrintable(QString("%1 squeezed to %2x%3").arg(what).arg(w->width()).arg(w->height())));
			QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), qPrintable(what + " clipped"));
			for (QWidget *other : controls)
				QVERIFY2(other == w || other->parentWidget() != w->parentWidget() ||
						 !other->geometry().intersects(w->geometry()),
					 qPrintable(what + " overlaps " + other->objectName()));
		}

		const QImage shot = dock->grab().toImage();
		const QDir shots(QStringLiteral(OSTRELO_DOCK_SHOTS_DIR));
		QVERIFY(shots.mkpath("."));
		QVERIFY(shot.save(shots.filePath(QString("dock-%1x%2.png").arg(size.width()).arg(size.height()))));
		// The root paints its own background to its edges (style sheets style a bare QWidget only
		// while the class adds no meta-object of its own), and the action buttons stand out.
		const QColor background = shot.pixelColor(3, 3);
		QCOMPARE(background.name(), QString("#0b1716"));
		QCOMPARE(shot.pixelColor(shot.width() - 2, shot.height() - 2), background);
		QCOMPARE(shot.pixelColor(shot.width() / 2, 6), background);
		auto fill = [&](const char *text) {
			QPushButton *b = button(dock.get(), QString::fromUtf8(text));
			return shot.pixelColor(b->mapTo(dock.get(), QPoint(6, b->height() / 2)));
		};
		const QColor action = fill("Install layout");
		QVERIFY(action != fill("Load JSON file") && action != background);
		for (const char *text : {"Switch to selected scene", "Start stream", "Start recording"})
			QCOMPARE(fill(text), action);
		for (const char *text : {"Stop stream", "Stop recording"})
			QCOMPARE(fill(text), fill("Load JSON file"));
	}

	void registrationHandsTheDockOverOrDestroysIt()
	{
		test::LogCapture log;
		frontend->acceptDock = true;
		QWidget *dock = registerStudioDock(frontend);
		QVERIFY(dock);
		QCOMPARE(frontend->dockWidget, dock);
		QCOMPARE(frontend->addedDocks, QStringList{"pell.ostrelo.control.v4|Ostrelo · Studio"});
		QCOMPARE(log.count("Ostrelo OBS loaded (v4.4.1)", LOG_INFO), 1);
		unregisterStudioDock(*frontend, dock);
		QCOMPARE(dock, nullptr);
		unregisterStudioDock(*frontend, dock);
		QCOMPARE(frontend->removedDocks, QStringList{"pell.ostrelo.control.v4"});
		delete frontend->dockWidget; // what the OBS window does once it lets go

		frontend->acceptDock = false;
		frontend->addedDocks.clear();
		frontend->dockWidget = nullptr;
		const int widgetsBefore = QApplication::allWidgets().size();
		dock = registerStudioDock(frontend);
		QCOMPARE(dock, nullptr);
		QCOMPARE(frontend->addedDocks.size(), 1);
		QCOMPARE(QApplication::allWidgets().size(), widgetsBefore); // destroyed, nothing left over
		QCOMPARE(log.count("Ostrelo OBS dock could not be registered", LOG_WARNING), 1);
		unregisterStudioDock(*frontend, dock);
		QCOMPARE(frontend->removedDocks.size(), 1);
	}

private:
	void dockWithToken(const char *token) { QSettings("Pellworth", "OstreloOBS").setValue("overlayToken", token); }
};

QTEST_MAIN(OstreloDockTest)
#include "ostrelo_dock_test.moc"
