// The stat reader in a real libobs session: rendered HUD frames in, POSTs to a loopback
// live-results server out, and the picture through untouched.

#include "filter_test_support.h"
#include "loopback_server.h"
#include "statreader/hud_classifier.h"
#include "tests/support/obs_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QJsonDocument>
#include <QWidget>

#include <map>

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
