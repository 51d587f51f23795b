// The stat reader in a real libobs session: rendered HUD frames in, POSTs to a loopback
// live-results server out, and the picture through untouched.

#include "filter_test_support.h"
#include "loopback_server.h"
#include "statreader/hud_classifier.h"
#include "tests/support/log_capture.h"
#include "tests/support/obs_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QJsonDocument>
#include <QWidget>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <locale.h>
#include <map>
#include <thread>

using namespace ostrelo;
using namespace ostrelo::test;
using namespace std::chrono_literals;

namespace {

// The first request (from index `from` on) whose JSON body holds all the given fields.
std::optional<QJsonObject> findBody(const LoopbackServer &server, const std::map<QString, double> &fields,
				    size_t from = 0, size_t *index = nullptr)
{
	const auto requests = server.requests();
	for (size_t i = from; i < requests.size(); ++i) {
		const QJsonObject body = jsonBody(requests[i].body);
		bool all = true;
		for (const auto &[key, value] : fields)
			all = all && body.contains(key) && body.value(key).toDouble() == value;
		if (all) {
			if (index)
				*index = i;
			return body;
		}
	}
	return std::nullopt;
}

hudframes::HudFrame match(int kills, int players, int teams, double plates)
{
	hudframes::HudFrame f;
	f.kills = kills;
	f.playersLeft = players;
	f.teamsLeft = teams;
	f.plates = plates;
	return f;
}

} // namespace

TEST(StatReaderFilter, PostsConfirmedValuesHeartbeatsAndTheFinalResult)
{
	ASSERT_TRUE(obsReady());
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, R"({"ok":true,"rev":3})"); });
	OBSDataAutoRelease settings = readerSettings(server.url("/vexmoor/api/live.php"));
	ReaderScene scene(hudPng("match-1", match(5, 97, 38, 2.5)), settings);

	std::optional<QJsonObject> body;
	size_t first = 0;
	ASSERT_TRUE(waitFor(
		[&] {
			body = findBody(server,
					{{"kills", 5}, {"players_left", 97}, {"teams_left", 38}, {"plates", 2.5}}, 0,
					&first);
			return body.has_value();
		},
		20s))
		<< server.requestCount() << " requests, none with the drawn values";
	EXPECT_EQ(body->value("event").toInt(), 7);
	EXPECT_EQ(body->value("event_id").toInt(), 7);
	EXPECT_EQ(body->value("game_no").toInt(), 1);
	const RecordedRequest request = server.requests()[first];
	EXPECT_EQ(request.method, "POST");
	EXPECT_EQ(request.path(), "/vexmoor/api/live.php");
	EXPECT_EQ(request.header("Authorization").value_or(""), "Bearer tok");
	EXPECT_TRUE(waitFor(
		[&] { return scene.state([](StatReaderState &s) { return s.statusText; }) == "Connected OK"; }, 5s));
	EXPECT_EQ(scene.state([](StatReaderState &s) { return s.hudState; }), kHudInMatch);

	// Nothing changes on screen: a heartbeat carries the same values about 10 s later.
	size_t heartbeat = 0;
	ASSERT_TRUE(waitFor(
		[&] {
			return findBody(server, {{"kills", 5}, {"players_left", 97}}, first + 1, &heartbeat)
				.has_value();
		},
		15s));
	const QJsonObject beat = jsonBody(server.requests()[heartbeat].body);
	EXPECT_EQ(beat.value("if_seq").toInt(), 3) << "the server's revision goes back with the next update";
	EXPECT_FALSE(beat.contains("new_game"));

	// New counters on screen become the confirmed values.
	scene.show(hudPng("match-2", match(7, 90, 35, 2.5)));
	ASSERT_TRUE(waitFor(
		[&] {
			return findBody(server, {{"kills", 7}, {"players_left", 90}, {"teams_left", 35}}).has_value();
		},
		20s));

	// The end card: the final result goes out alone.
	hudframes::HudFrame card;
	card.screen = hudframes::Screen::PlacementCard;
	card.placement = 2;
	card.cardKills = 7;
	scene.show(hudPng("card", card));
	ASSERT_TRUE(waitFor([&] { return findBody(server, {{"placement", 2}}).has_value(); }, 20s));
	const QJsonObject final = *findBody(server, {{"placement", 2}});
	EXPECT_EQ(final.value("kills").toInt(), 7);
	EXPECT_EQ(final.value("new_game").toInt(), 1);
	QStringList keys = final.keys();
	keys.sort();
	EXPECT_EQ(keys.join(","), "event,event_id,game_no,if_seq,kills,new_game,placement");
	EXPECT_TRUE(scene.state([](StatReaderState &s) { return s.final && !s.matchLive; }));
}

TEST(StatReaderFilter, OutputIsTheInputUnchanged)
{
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
	const std::string file = hudPng("identity", match(5, 97, 38, 1.5));
	OBSDataAutoRelease settings = readerSettings(server.url("/live"));
	ReaderScene scene(file, settings);
	OBSDataAutoRelease plainSettings = obs_data_create();
	obs_data_set_string(plainSettings, "file", file.c_str());
	OBSSourceAutoRelease plain = obs_source_create("image_source", "plain", plainSettings, nullptr);

	// Render both while the filter captures and processes frames in the background.
	for (int round = 0; round < 3; ++round) {
		pumpEvents(150ms);
		std::vector<unsigned char> filtered, original;
		ASSERT_TRUE(renderOutput(scene.image, 1920, 1080, filtered));
		ASSERT_TRUE(renderOutput(plain, 1920, 1080, original));
		ASSERT_EQ(filtered.size(), original.size());
		size_t lit = 0;
		for (unsigned char v : original)
			lit += v > 128;
		ASSERT_GT(lit, 1000u) << "the picture was rendered";
		size_t differing = 0;
		for (size_t i = 0; i < filtered.size(); ++i)
			differing += filtered[i] != original[i];
		EXPECT_EQ(differing, 0u) << "round " << round;
	}
	EXPECT_GT(scene.state([](StatReaderState &s) { return s.lastSendNs; }), 0u) << "the filter did process frames";
}

TEST(StatReaderFilter, ServiceGameNumberIsAdoptedAndSaved)
{
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, R"({"game_no":5})"); });
	OBSDataAutoRelease settings = readerSettings(server.url("/live"));
	obs_data_set_string(settings, "game_nos", R"({"3":9})");
	ReaderScene scene(hudPng("site", match(5, 97, 38, 3)), settings);
	ASSERT_TRUE(waitFor([&] { return scene.state([](StatReaderState &s) { return s.gameNo; }) == 5; }, 20s));
	ASSERT_TRUE(waitFor(
		[&] {
			OBSDataAutoRelease now = obs_source_get_settings(scene.filter);
			return std::string(obs_data_get_string(now, "game_nos")) == R"({"3":9,"7":5})";
		},
		5s));
	OBSDataAutoRelease now = obs_source_get_settings(scene.filter);
	EXPECT_EQ(obs_data_get_int(now, "game_no"), 5);
	EXPECT_EQ(obs_data_get_int(now, "game_no_event"), 7);
	// Later updates name the adopted game.
	ASSERT_TRUE(waitFor(
		[&] {
			const auto r = server.requests();
			return !r.empty() && jsonBody(r.back().body).value("game_no").toInt() == 5;
		},
		20s));
}

namespace {

// Readers that only note what frames reach processing: size and the first pixel.
class RecordingReaders : public StatReaders {
public:
	struct Seen {
		int32_t width, height;
		uint8_t r, g, b;
	};
	std::vector<Seen> seen;
	int32_t classify(const FrameView &f) override
	{
		seen.push_back({f.width, f.height, f.data[0], f.data[1], f.data[2]});
		return kHudUnknown;
	}
	StatReading readDigitStat(const RgbaImage &, std::string_view, bool) override { return {}; }
	StatReading readPlates(const RgbaImage &, const std::optional<PlatesOutline> &, float) override { return {}; }
	StatReading readCardNumber(const RgbaImage &, std::string_view) override { return {}; }
};

} // namespace

TEST(StatReaderFilter, InputSizeChangeNeverProcessesAStaleFrame)
{
	OBSDataAutoRelease settings = obs_data_create();
	ReaderScene scene(solidPng("red", 1920, 1080, 0xd02020ff), settings);
	auto recorder = std::make_unique<RecordingReaders>();
	RecordingReaders *rec = recorder.get();
	scene.state([&](StatReaderState &) { scene.instance().readers = std::move(recorder); });
	auto count = [&] { return scene.state([&](StatReaderState &) { return rec->seen.size(); }); };

	ASSERT_TRUE(waitFor([&] { return count() >= 4; }, 10s));
	// Switch sizes a few times; each switch lands between capture calls at random.
	for (int i = 0; i < 6; ++i) {
		const bool small = i % 2 == 0;
		scene.show(small ? solidPng("blue", 1280, 720, 0x2020d0ff) : solidPng("red", 1920, 1080, 0xd02020ff));
		const size_t before = count();
		ASSERT_TRUE(waitFor([&] { return count() >= before + 4; }, 10s));
	}
	const auto seen = scene.state([&](StatReaderState &) { return rec->seen; });
	for (const auto &s : seen) {
		if (s.width == 1280) {
			EXPECT_EQ(s.height, 720);
			EXPECT_LT(s.r, 0x40) << "a 1920 frame was processed as 1280 x 720";
		} else {
			EXPECT_EQ(s.width, 1920);
			EXPECT_EQ(s.height, 1080);
			EXPECT_GT(s.r, 0xb0) << "a 1280 frame was processed as 1920 x 1080";
		}
	}
}

namespace {

struct PanelRow {
	const char *name;
	obs_property_type type;
	const char *label;
};

std::vector<PanelRow> expectedPanel()
{
	std::vector<PanelRow> rows = {
		{"game", OBS_PROPERTY_LIST, "Game"},
		{"event_id", OBS_PROPERTY_INT, "Vexmoor event ID"},
		{"token", OBS_PROPERTY_TEXT, "Overlay token or Browser Source URL"},
		{"api_url", OBS_PROPERTY_TEXT, "API URL"},
		{"send", OBS_PROPERTY_BOOL, "Send updates when a value changes"},
		{"test", OBS_PROPERTY_BUTTON, "Test connection"},
		{"use_wz_preset", OBS_PROPERTY_BOOL, "Use Warzone 16:9 HUD preset"},
		{"apply_preset", OBS_PROPERTY_BUTTON, "Apply Warzone 16:9 preset"},
		{"align", OBS_PROPERTY_BUTTON, "Align regions\xE2\x80\xA6"},
		{"new_game", OBS_PROPERTY_BUTTON, "New game"},
		{"reset_game_no", OBS_PROPERTY_BUTTON, "Reset game #"},
		{"net_status", OBS_PROPERTY_TEXT, "Status: Not connected yet"},
		{"game_no_lab", OBS_PROPERTY_TEXT, "Game #1"},
		{"hud_state_lab", OBS_PROPERTY_TEXT, nullptr},
	};
	return rows;
}

} // namespace

TEST(StatReaderFilter, PanelInOrderWithItsLabelsAndRanges)
{
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_int(settings, "kills_w", 40);
	obs_data_set_int(settings, "kills_h", 20);
	obs_data_set_bool(settings, "use_wz_preset", false);
	OBSSourceAutoRelease filter = obs_source_create_private("vexmoor_stat_reader", "panel", settings);
	obs_properties_t *props = obs_source_properties(filter);
	ASSERT_NE(props, nullptr);

	std::vector<PanelRow> rows = expectedPanel();
	static const char *const keys[] = {"kills", "deaths", "score", "players_left", "teams_left", "wins", "plates"};
	std::vector<std::string> names;
	for (int i = 0; i < 7; ++i) {
		names.push_back(std::string(keys[i]) + "_lab");
		for (const char *suffix : {"_x", "_y", "_w", "_h"})
			names.push_back(std::string(keys[i]) + suffix);
	}
	size_t i = 0;
	for (obs_property_t *p = obs_properties_first(props); p; obs_property_next(&p), ++i) {
		const std::string name = obs_property_name(p);
		if (i < rows.size()) {
			EXPECT_EQ(name, rows[i].name);
			EXPECT_EQ(obs_property_get_type(p), rows[i].type) << name;
			if (rows[i].label) {
				EXPECT_STREQ(obs_property_description(p), rows[i].label) << name;
			}
			continue;
		}
		const size_t k = i - rows.size();
		ASSERT_LT(k, names.size());
		EXPECT_EQ(name, names[k]);
		if (k % 5 == 0)
			continue;
		static const char *const fieldLabels[] = {"  X", "  Y", "  Width", "  Height"};
		EXPECT_STREQ(obs_property_description(p), fieldLabels[k % 5 - 1]) << name;
		EXPECT_EQ(obs_property_int_min(p), 0);
		EXPECT_EQ(obs_property_int_max(p), 8192);
		EXPECT_EQ(obs_property_int_step(p), 1);
	}
	EXPECT_EQ(i, rows.size() + names.size());

	obs_property_t *eventId = obs_properties_get(props, "event_id");
	EXPECT_EQ(obs_property_int_max(eventId), 1000000);
	obs_property_t *game = obs_properties_get(props, "game");
	ASSERT_EQ(obs_property_list_item_count(game), 2u);
	EXPECT_STREQ(obs_property_list_item_name(game, 1), "MW4 Multiplayer");
	EXPECT_STREQ(obs_property_list_item_string(game, 1), "mw4-multiplayer");
	EXPECT_EQ(obs_property_text_type(obs_properties_get(props, "token")), OBS_TEXT_PASSWORD);
	EXPECT_EQ(obs_property_text_type(obs_properties_get(props, "net_status")), OBS_TEXT_INFO);
	EXPECT_STREQ(obs_property_description(obs_properties_get(props, "hud_state_lab")), "HUD state: unknown");
	EXPECT_STREQ(obs_property_description(obs_properties_get(props, "kills_lab")),
		     "Kills \xE2\x80\x94 last read: \xE2\x80\x94");
	EXPECT_STREQ(obs_property_description(obs_properties_get(props, "wins_lab")), "Wins");

	// Warzone rows only for Warzone; kills for both games.
	EXPECT_TRUE(obs_property_visible(obs_properties_get(props, "plates_w")));
	EXPECT_FALSE(obs_property_visible(obs_properties_get(props, "deaths_lab")));
	obs_data_set_string(settings, "game", "mw4-multiplayer");
	EXPECT_TRUE(obs_property_modified(game, settings));
	for (const char *name : {"players_left_lab", "teams_left_x", "wins_h", "plates_lab"})
		EXPECT_FALSE(obs_property_visible(obs_properties_get(props, name))) << name;
	for (const char *name : {"kills_lab", "deaths_x", "score_h"})
		EXPECT_TRUE(obs_property_visible(obs_properties_get(props, name))) << name;
	obs_properties_destroy(props);
}

TEST(StatReaderFilter, PresetButtonUsesTheSourceSizeBeforeAnyFrame)
{
	OBSDataAutoRelease plain = obs_data_create();
	obs_data_set_string(plain, "file", solidPng("preset", 1920, 1080, 0x101010ff).c_str());
	OBSSourceAutoRelease image = obs_source_create("image_source", "preset image", plain, nullptr);
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_bool(settings, "use_wz_preset", false);
	OBSSourceAutoRelease filter = obs_source_create_private("vexmoor_stat_reader", "preset", settings);
	obs_source_filter_add(image, filter);

	obs_properties_t *props = obs_source_properties(filter);
	EXPECT_TRUE(obs_property_button_clicked(obs_properties_get(props, "apply_preset"), filter));
	obs_properties_destroy(props);
	OBSDataAutoRelease now = obs_source_get_settings(filter);
	EXPECT_TRUE(obs_data_get_bool(now, "use_wz_preset"));
	EXPECT_EQ(obs_data_get_int(now, "kills_x"), 1823);
	EXPECT_EQ(obs_data_get_int(now, "kills_y"), 80);
	EXPECT_EQ(obs_data_get_int(now, "kills_w"), 42);
	EXPECT_EQ(obs_data_get_int(now, "kills_h"), 22);
	EXPECT_EQ(obs_data_get_int(now, "wins_w"), 0) << "wins has no preset row";
	obs_source_filter_remove(image, filter);
}

TEST(StatReaderFilter, NumberingButtonsSaveAndSend)
{
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
	OBSDataAutoRelease settings = readerSettings(server.url("/live"));
	obs_data_set_string(settings, "game_nos", R"({"7":4})");
	OBSSourceAutoRelease filter = obs_source_create_private("vexmoor_stat_reader", "buttons", settings);
	obs_properties_t *props = obs_source_properties(filter);
	EXPECT_TRUE(obs_property_button_clicked(obs_properties_get(props, "new_game"), filter));
	ASSERT_TRUE(waitFor([&] { return server.requestCount() == 1; }, 10s));
	QJsonObject body = jsonBody(server.requests()[0].body);
	EXPECT_EQ(body.value("new_game").toInt(), 1);
	EXPECT_EQ(body.value("game_no").toInt(), 5);
	OBSDataAutoRelease now = obs_source_get_settings(filter);
	EXPECT_STREQ(obs_data_get_string(now, "game_nos"), R"({"7":5})");

	EXPECT_TRUE(obs_property_button_clicked(obs_properties_get(props, "reset_game_no"), filter));
	ASSERT_TRUE(waitFor([&] { return server.requestCount() == 2; }, 10s));
	body = jsonBody(server.requests()[1].body);
	EXPECT_EQ(body.value("game_no").toInt(), 1);
	EXPECT_FALSE(body.contains("new_game"));
	now = obs_source_get_settings(filter);
	EXPECT_STREQ(obs_data_get_string(now, "game_nos"), R"({"7":1})");
	obs_properties_destroy(props);
	pumpEvents(300ms);
	EXPECT_EQ(server.requestCount(), 2u);
}

TEST(StatReaderFilter, DestroyedWhileCallsAreQueued)
{
	LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
	OBSDataAutoRelease settings = readerSettings(server.url("/live"));
	auto scene = std::make_unique<ReaderScene>(hudPng("destroy", match(5, 97, 38, 2)), settings);
	ASSERT_TRUE(waitFor([&] { return scene->state([](StatReaderState &s) { return s.hudState; }) != 0; }, 10s));

	// Open the align window, then ask for snapshots and refreshes and go away at once.
	obs_properties_t *props = obs_source_properties(scene->filter);
	obs_property_button_clicked(obs_properties_get(props, "align"), scene->filter);
	obs_properties_destroy(props);
	pumpEvents(100ms);
	bool windowOpen = false;
	for (QWidget *w : QApplication::topLevelWidgets())
		windowOpen = windowOpen || (w->inherits("VxAlignWindow") && w->isVisible());
	EXPECT_TRUE(windowOpen);
	FilterRef keep = *static_cast<FilterRef *>(obs_obj_get_data(scene->filter));
	postPropertiesRefresh(keep);
	postSnapshotHandOff(keep);
	postOpenAlignWindow(keep);
	scene.reset();
	pumpEvents(300ms);
	for (QWidget *w : QApplication::topLevelWidgets())
		EXPECT_FALSE(w->inherits("VxAlignWindow") && w->isVisible()) << "the window closes with its filter";
	EXPECT_FALSE(keep->alive);
	EXPECT_EQ(keep->client, nullptr);
}

namespace {

// libobs swaps its log handler without a lock, so the capture is put in before libobs starts
// its threads and taken out after they stopped.
LogCapture g_obsLog;

// Waits without running the Qt event loop, so calls queued to the UI thread stay queued
// while the graphics thread goes on processing frames.
bool waitWithQueueHeld(const std::function<bool()> &pred, std::chrono::milliseconds timeout)
{
	const auto end = std::chrono::steady_clock::now() + timeout;
	while (!pred()) {
		if (std::chrono::steady_clock::now() > end)
			return false;
		std::this_thread::sleep_for(10ms);
	}
	return true;
}

int64_t savedGameNo(obs_source_t *filter)
{
	OBSDataAutoRelease s = obs_source_get_settings(filter);
	return obs_data_get_int(s, "game_no");
}

std::string savedGameNos(obs_source_t *filter)
{
	OBSDataAutoRelease s = obs_source_get_settings(filter);
	return obs_data_get_string(s, "game_nos");
}

} // namespace

TEST(StatReaderFilter, QueuedNumberingSaveNeverBringsBackAnOlderGame)
{
	// The service's game 6 is adopted on the graphics thread, whose save then waits in the UI
	// thread's queue; something else lands first. Once the queue runs, memory and settings
	// must name the same, newest game.
	struct Case {
		const char *name;
		std::function<void(ReaderScene &)> meanwhile;
		int32_t expect;
	};
	const Case cases[] = {
		{"reset button",
		 [](ReaderScene &scene) {
			 obs_properties_t *props = obs_source_properties(scene.filter);
			 EXPECT_TRUE(
				 obs_property_button_clicked(obs_properties_get(props, "reset_game_no"), scene.filter));
			 obs_properties_destroy(props);
		 },
		 1},
		{"settings change",
		 [](ReaderScene &scene) {
			 OBSDataAutoRelease change = obs_data_create();
			 obs_data_set_int(change, "wins_x", 5);
			 obs_source_update(scene.filter, change);
			 // OBS applies it on the graphics thread, reading the settings as they are now.
			 EXPECT_TRUE(waitWithQueueHeld(
				 [&] {
					 return scene.state([](StatReaderState &s) {
						 return s.config.regions[kStatWins].x;
					 }) == 5;
				 },
				 10s));
			 EXPECT_EQ(scene.state([](StatReaderState &s) { return s.gameNo; }), 6)
				 << "the update took the game number back from settings not yet saved";
		 },
		 6},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
		OBSDataAutoRelease settings = readerSettings(server.url("/live"));
		obs_data_set_string(settings, "game_nos", R"({"7":4})");
		ReaderScene scene(solidPng("numbering", 640, 360, 0x202020ff), settings);
		ASSERT_EQ(scene.state([](StatReaderState &s) { return s.gameNo; }), 4);

		scene.instance().pendingSiteGameNo = 6;
		ASSERT_TRUE(waitWithQueueHeld(
			[&] { return scene.state([](StatReaderState &s) { return s.gameNo; }) == 6; }, 10s));
		c.meanwhile(scene);
		pumpEvents(300ms);

		EXPECT_EQ(scene.state([](StatReaderState &s) { return s.gameNo; }), c.expect);
		EXPECT_EQ(savedGameNo(scene.filter), c.expect);
		EXPECT_EQ(savedGameNos(scene.filter), R"({"7":)" + std::to_string(c.expect) + "}");
	}
}

TEST(StatReaderFilter, ReplyToAnEarlierGameIsNotAdopted)
{
	// The service answers each update with the game it was sent for. The update of game 4 is
	// held while the user starts game 5; its late answer must not take the filter back.
	Gate firstAnswer, secondAnswer;
	std::atomic<int> postsSeen{0};
	std::atomic<bool> heldFive{false};
	LoopbackServer server([&](const RecordedRequest &req) {
		if (req.method != "POST")
			return Reply::json(200, "{}");
		const int gameNo = jsonBody(req.body).value("game_no").toInt();
		if (postsSeen++ == 0)
			firstAnswer.wait();
		if (gameNo == 5 && !heldFive.exchange(true))
			secondAnswer.wait();
		return Reply::json(200, "{\"game_no\":" + std::to_string(gameNo) + "}");
	});
	OBSDataAutoRelease settings = readerSettings(server.url("/live"));
	obs_data_set_string(settings, "game_nos", R"({"7":4})");
	ReaderScene scene(hudPng("earlier-game", match(5, 97, 38, 2)), settings);
	ASSERT_TRUE(waitFor([&] { return server.requestCount() >= 1; }, 20s));
	EXPECT_EQ(jsonBody(server.requests()[0].body).value("game_no").toInt(), 4);

	obs_properties_t *props = obs_source_properties(scene.filter);
	EXPECT_TRUE(obs_property_button_clicked(obs_properties_get(props, "new_game"), scene.filter));
	obs_properties_destroy(props);
	firstAnswer.open();
	// Every answer "4" has arrived once game 5's first update is on the wire; frames go on.
	ASSERT_TRUE(waitFor([&] { return heldFive.load(); }, 20s));
	pumpEvents(1500ms);
	EXPECT_EQ(scene.state([](StatReaderState &s) { return s.gameNo; }), 5);
	EXPECT_EQ(savedGameNo(scene.filter), 5);
	secondAnswer.open();
	const size_t before = server.requestCount();
	ASSERT_TRUE(waitFor([&] { return server.requestCount() > before; }, 20s));
	pumpEvents(500ms);
	const auto requests = server.requests();
	size_t firstOfFive = 0;
	while (firstOfFive < requests.size() && jsonBody(requests[firstOfFive].body).value("game_no").toInt() != 5)
		++firstOfFive;
	ASSERT_LT(firstOfFive, requests.size());
	EXPECT_EQ(jsonBody(requests[firstOfFive].body).value("new_game").toInt(), 1) << "game 5 was announced";
	for (size_t i = firstOfFive; i < requests.size(); ++i)
		EXPECT_EQ(jsonBody(requests[i].body).value("game_no").toInt(), 5) << "request " << i;
}

TEST(StatReaderFilter, SettingsItCannotUseAsTheyAreAreReported)
{
	struct Case {
		const char *name;
		const char *token;
		int64_t eventId;
		const char *logLine;
		const char *status; // nullptr: the status line is the connection's
		int sentEvent;      // 0: nothing may be sent
	};
	const Case cases[] = {
		{"line break in the token", "tok\r\nX-Evil: 1", 7,
		 "Vexmoor stat reader: the overlay token was refused: it holds a line break or another control "
		 "character.",
		 "Status: Failed: the overlay token holds a line break or another control character.", 0},
		{"event id beyond 32 bits", "tok", (int64_t(1) << 32) + 7,
		 "Vexmoor stat reader: event id 4294967303 is out of range; 2147483647 is used.", nullptr, 2147483647},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		g_obsLog.clear();
		LoopbackServer server([](const RecordedRequest &) { return Reply::json(200, "{}"); });
		OBSDataAutoRelease settings = readerSettings(server.url("/live"));
		obs_data_set_string(settings, "token", c.token);
		obs_data_set_int(settings, "event_id", c.eventId);
		ReaderScene scene(hudPng("settings-check", match(5, 97, 38, 2)), settings);
		ASSERT_TRUE(waitFor(
			[&] { return scene.state([](StatReaderState &s) { return s.trackers[kStatKills].valid; }); },
			20s));
		if (c.sentEvent) {
			ASSERT_TRUE(waitFor([&] { return server.requestCount() >= 1; }, 10s));
			EXPECT_EQ(jsonBody(server.requests()[0].body).value("event").toInt(), c.sentEvent);
		} else {
			// Values are confirmed, yet nothing goes out; nor does a connection test.
			obs_properties_t *props = obs_source_properties(scene.filter);
			obs_property_button_clicked(obs_properties_get(props, "test"), scene.filter);
			obs_properties_destroy(props);
			pumpEvents(1500ms);
			EXPECT_EQ(server.requestCount(), 0u);
			for (const RecordedRequest &r : server.requests())
				EXPECT_FALSE(r.header("X-Evil")) << "a header was smuggled in with the token";
		}
		EXPECT_EQ(g_obsLog.count(c.logLine, LOG_WARNING), 1) << c.logLine;
		if (c.status) {
			obs_properties_t *props = obs_source_properties(scene.filter);
			EXPECT_STREQ(obs_property_description(obs_properties_get(props, "net_status")), c.status);
			obs_properties_destroy(props);
		}
	}
}

namespace {

// A locale that writes a decimal comma, built next to the test (glibc looks for it through
// LOCPATH). Made before main, while the process has no other thread to race setenv.
const locale_t g_commaLocale = [] {
	const char *previous = std::getenv("LOCPATH");
	const std::string kept = previous ? previous : "";
	setenv("LOCPATH", OSTRELO_TEST_LOCALE_DIR, 1);
	const locale_t made = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", nullptr);
	if (previous)
		setenv("LOCPATH", kept.c_str(), 1);
	else
		unsetenv("LOCPATH");
	return made;
}();

} // namespace

TEST(StatReaderFilter, PanelWritesPlatesWithADotInAnyLocale)
{
	// The value is the one the update carries ("2.5"), whatever the number format of the
	// user's locale; the panel is built on the calling thread, in that thread's locale.
	const locale_t comma = g_commaLocale;
	ASSERT_NE(comma, locale_t(nullptr)) << "no de_DE.UTF-8 in " OSTRELO_TEST_LOCALE_DIR;
	char probe[16];
	const locale_t previous = uselocale(comma);
	std::snprintf(probe, sizeof probe, "%.1f", 2.5);
	ASSERT_STREQ(probe, "2,5") << "the locale does not write a decimal comma";

	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_bool(settings, "use_wz_preset", false);
	obs_data_set_int(settings, "plates_w", 40);
	obs_data_set_int(settings, "plates_h", 20);
	OBSSourceAutoRelease filter = obs_source_create_private("vexmoor_stat_reader", "plates panel", settings);
	StatReaderFilter &f = *static_cast<FilterRef *>(obs_obj_get_data(filter))->get();
	f.shared.with([](StatReaderState &s) { s.trackers[kStatPlates] = {true, 25, 0, 0}; });
	obs_properties_t *props = obs_source_properties(filter);
	uselocale(previous);
	EXPECT_STREQ(obs_property_description(obs_properties_get(props, "plates_lab")),
		     "Plates \xE2\x80\x94 last read: 2.5");
	obs_properties_destroy(props);
}

TEST(StatReaderFilter, ButtonsAnswersUpdatesAndFramesAgreeOnTheGame)
{
	// Every path that changes the numbering at once: frames processed on the graphics thread,
	// answers naming another game, the buttons and settings changes on the UI thread. Under
	// ThreadSanitizer this checks the filter's locking on the real paths; in every build the
	// numbers must agree once everything queued has run.
	std::atomic<int> answers{0};
	LoopbackServer server([&](const RecordedRequest &req) {
		const int gameNo = jsonBody(req.body).value("game_no").toInt();
		// Every third answer names the next game, as a service that moved on would.
		const int named = answers++ % 3 == 2 ? gameNo + 1 : gameNo;
		return Reply::json(200, "{\"game_no\":" + std::to_string(named) + "}");
	});
	OBSDataAutoRelease settings = readerSettings(server.url("/live"));
	obs_data_set_string(settings, "game_nos", R"({"7":4})");
	const std::string pictures[] = {hudPng("agree-a", match(5, 97, 38, 2)), hudPng("agree-b", match(6, 90, 35, 1))};
	ReaderScene scene(pictures[0], settings);
	ASSERT_TRUE(waitFor([&] { return server.requestCount() >= 1; }, 20s));

	obs_properties_t *props = obs_source_properties(scene.filter);
	const auto end = std::chrono::steady_clock::now() + 4s;
	for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
		if (i % 3 == 0) {
			obs_property_button_clicked(obs_properties_get(props, "new_game"), scene.filter);
		} else if (i % 3 == 1) {
			OBSDataAutoRelease change = obs_data_create();
			obs_data_set_int(change, "wins_x", i);
			obs_source_update(scene.filter, change);
		} else {
			obs_property_button_clicked(obs_properties_get(props, "reset_game_no"), scene.filter);
		}
		if (i % 10 == 9)
			scene.show(pictures[(i / 10) % 2]);
		pumpEvents(100ms);
	}
	obs_properties_destroy(props);

	// Nothing left to read: the last sends are answered and every queued call runs.
	scene.show(solidPng("agree-quiet", 640, 360, 0x202020ff));
	size_t seen = 0;
	do {
		seen = server.requestCount();
		pumpEvents(1000ms);
	} while (server.requestCount() != seen);
	pumpEvents(500ms);

	const int32_t gameNo = scene.state([](StatReaderState &s) { return s.gameNo; });
	EXPECT_EQ(savedGameNo(scene.filter), gameNo);
	EXPECT_EQ(savedGameNos(scene.filter), R"({"7":)" + std::to_string(gameNo) + "}");
	EXPECT_GE(answers.load(), 20) << "the paths ran over each other only a few times";
}
