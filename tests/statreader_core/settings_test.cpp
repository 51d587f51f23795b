#include "statreader/filter_state.h"
#include "statreader/numbering.h"
#include "statreader/presets.h"
#include "statreader/settings_keys.h"
#include "statreader/stat_table.h"
#include "statreader/token.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>

using namespace ostrelo;

TEST(TokenNormalisation, TakesWhatTheUserMeant)
{
	struct Case {
		const char *pasted;
		const char *token;
	} cases[] = {
		{"https://x.example/overlay?theme=dark&token=abc123&scale=2", "abc123"},
		{"https://x.example/overlay?token=abc123", "abc123"},
		{"token=abc&x=1", "abc"},
		{"token=", ""},
		{"  \tabc123 \n", "abc123"},
		{"abc123\r\n", "abc123\r"}, // a carriage return is not trimmed
		{"\nabc", "\nabc"},         // leading line feeds stay: only spaces and tabs lead
		{"plain text without marker ", "plain text without marker"},
		{"oken=", "oken="},
		{"", ""},
		{"   ", ""},
		{"xtoken=a&b=token=c", "a"}, // the first "token=" wins
	};
	for (const Case &c : cases)
		EXPECT_EQ(normalizeToken(c.pasted), c.token) << "pasted: " << c.pasted;
}

TEST(PixelRect, FailsOrClipsAtTheEdges)
{
	struct Case {
		PresetRect rect;
		int w, h;
		bool ok;
		StatRegion expect;
	} cases[] = {
		{{"k", 0.1f, 0.1f, 0.5f, 0.5f}, 7, 100, false, {}},                // frame too narrow
		{{"k", 0.1f, 0.1f, 0.5f, 0.5f}, 100, 7, false, {}},                // frame too low
		{{"k", 0.1f, 0.1f, 0.f, 0.5f}, 100, 100, false, {}},               // no width
		{{"k", 0.1f, 0.1f, 0.5f, -0.5f}, 100, 100, false, {}},             // negative height
		{{"k", 0.9f, 0.1f, 0.5f, 0.5f}, 100, 100, true, {90, 10, 10, 50}}, // clipped right
		{{"k", 0.1f, 0.9f, 0.5f, 0.5f}, 100, 100, true, {10, 90, 50, 10}}, // clipped bottom
		{{"k", 0.97f, 0.1f, 0.5f, 0.5f}, 100, 100, false, {}},             // 3 px left after clipping
		{{"k", 1.0f, 0.1f, 0.5f, 0.5f}, 100, 100, false, {}},              // starts on the edge
		{{"k", -0.5f, -0.5f, 0.6f, 0.6f}, 100, 100, true, {0, 0, 60, 60}}, // negative origin kept at 0
		{{"k", 0.125f, 0.f, 0.5f, 0.5f}, 20, 20, true, {3, 0, 10, 10}},    // 2.5 rounds away from zero
	};
	for (const Case &c : cases) {
		const auto r = toPixelRect(c.rect, c.w, c.h);
		ASSERT_EQ(bool(r), c.ok) << c.rect.x << "," << c.rect.y << " on " << c.w << "x" << c.h;
		if (r) {
			EXPECT_EQ(*r, c.expect) << r->x << "," << r->y << " " << r->w << "x" << r->h;
		}
	}
}

TEST(PresetTables, LookupByTableAndKey)
{
	EXPECT_TRUE(cardTableRow("placement", "placement"));
	EXPECT_TRUE(cardTableRow("aar", "kills"));
	EXPECT_FALSE(cardTableRow("aar", "wins"));
	EXPECT_FALSE(cardTableRow("Placement", "kills"));
	EXPECT_FALSE(warzonePresetRow("wins"));
}

TEST(WarzonePreset, ReplacesOnlyTheRowsItHas)
{
	// The kills row at 1080p: x = lround(0.94945 * 1920) and so on.
	FilterConfig c;
	c.regions[kStatKills] = {10, 10, 30, 30};
	c.regions[kStatWins] = {50, 50, 20, 20};
	applyWarzonePreset(c, 1920, 1080);
	EXPECT_EQ(c.regions[kStatKills], (StatRegion{1823, 80, 42, 22}));
	EXPECT_EQ(c.regions[kStatWins], (StatRegion{50, 50, 20, 20}));
	EXPECT_TRUE(c.regions[kStatPlates].isSet());
	EXPECT_TRUE(c.regions[kStatPlayersLeft].isSet());
	EXPECT_TRUE(c.regions[kStatTeamsLeft].isSet());
}

TEST(WarzonePreset, DoesNothingUnlessOnWarzoneAndLargeEnough)
{
	const StatRegion mine{10, 10, 30, 30};
	struct Case {
		const char *game;
		bool use;
		int w, h;
	} cases[] = {
		{kGameMw4, true, 1920, 1080},   {"Warzone", true, 1920, 1080},  {kGameWarzone, false, 1920, 1080},
		{kGameWarzone, true, 15, 1080}, {kGameWarzone, true, 1920, 15},
	};
	for (const Case &k : cases) {
		FilterConfig c;
		c.game = k.game;
		c.usePreset = k.use;
		c.regions[kStatKills] = mine;
		applyWarzonePreset(c, k.w, k.h);
		EXPECT_EQ(c.regions[kStatKills], mine) << k.game << " " << k.w << "x" << k.h;
	}
}

TEST(WarzonePreset, FailedConversionKeepsTheRegion)
{
	// At 16 x 16 the kills row is 0 px wide after rounding; the old region must stay.
	FilterConfig c;
	c.regions[kStatKills] = {1, 2, 5, 7};
	applyWarzonePreset(c, 16, 16);
	EXPECT_EQ(c.regions[kStatKills], (StatRegion{1, 2, 5, 7}));
}

TEST(StatTable, ProfilesAndLookups)
{
	EXPECT_EQ(statIndex("plates"), 6);
	EXPECT_EQ(statIndex("placement"), -1);
	EXPECT_EQ(statIndex("Kills"), -1);
	EXPECT_TRUE(statApplies(kStatKills, "anything"));
	EXPECT_TRUE(statApplies(kStatWins, "warzone"));
	EXPECT_FALSE(statApplies(kStatWins, "warzone "));
	EXPECT_FALSE(statApplies(kStatDeaths, "warzone"));
	EXPECT_FALSE(statApplies(-1, "warzone"));
	EXPECT_FALSE(statApplies(7, "warzone"));
	EXPECT_EQ(gameStatKeys("mw4-multiplayer"), (std::vector<std::string>{"kills", "deaths", "score"}));
	EXPECT_EQ(gameStatKeys("unknown-game"),
		  (std::vector<std::string>{"kills", "players_left", "teams_left", "wins", "plates"}));
	EXPECT_EQ(statLabel("players_left"), "Players left");
	EXPECT_EQ(statLabel("placement"), "placement");
}

TEST(SettingsKeys, OneKeyPerSettingWithTheDocumentedDefaults)
{
	std::set<std::string> seen;
	for (const auto &d : settings::settingDefaults())
		EXPECT_TRUE(seen.insert(d.key).second) << "duplicate key " << d.key;
	// 14 named keys, 8 corner keys, 28 region keys
	EXPECT_EQ(seen.size(), 50u);
	EXPECT_TRUE(seen.count("plates_qx0"));
	EXPECT_TRUE(seen.count("plates_qy3"));
	EXPECT_TRUE(seen.count("teams_left_h"));
	EXPECT_EQ(settings::regionKey(kStatPlayersLeft, settings::kRegionW), "players_left_w");
	EXPECT_EQ(settings::defaultApiUrl().rfind("https://", 0), 0u);
	EXPECT_NE(settings::defaultApiUrl().find("/vexmoor/api/live.php"), std::string::npos);
}

namespace {

FilterSettings defaults()
{
	FilterSettings s;
	s.game = "warzone";
	s.apiUrl = settings::defaultApiUrl();
	return s;
}

} // namespace

TEST(ApplySettings, TokensHoldingControlCharactersAreRefused)
{
	// What normalisation leaves of the pasted text goes into a request header as it is.
	struct Case {
		const char *pasted;
		const char *token; // nullptr: refused
	} cases[] = {
		{"  abc123 \n", "abc123"},
		{"https://h/o?token=abc%0D%0A&x=1", "abc%0D%0A"}, // not decoded, so not a line break
		{"t\xc3\xb6k", "t\xc3\xb6k"},
		{"abc123\r\n", nullptr},
		{"tok\r\nX-Evil: 1", nullptr},
		{"\nabc", nullptr},
		{"a\tb", nullptr},
		{"t\xc2\x85k", nullptr}, // NEL, a control character of UTF-8
		{"t\x7fk", nullptr},
	};
	for (const Case &c : cases) {
		StatReaderState st;
		FilterSettings s = defaults();
		s.token = c.pasted;
		s.eventId = 3;
		applySettings(st, s, 1);
		EXPECT_EQ(st.config.token, c.token ? c.token : "") << "pasted: " << c.pasted;
		EXPECT_EQ(st.config.tokenRefused, c.token == nullptr) << "pasted: " << c.pasted;
		EXPECT_EQ(st.config.canSend(), c.token != nullptr) << "pasted: " << c.pasted;
	}
}

TEST(ApplySettings, EmptyStringsFallBackToDefaults)
{
	StatReaderState st;
	FilterSettings s;
	s.game = "";
	s.apiUrl = "";
	s.token = "  https://h/overlay?token=t0k&x=1 \n";
	applySettings(st, s, 1000);
	EXPECT_EQ(st.config.game, "warzone");
	EXPECT_EQ(st.config.apiUrl, settings::defaultApiUrl());
	EXPECT_EQ(st.config.token, "t0k");
}

TEST(ApplySettings, ClampsAngleAndOutlineCount)
{
	struct Case {
		double angle;
		long long n;
		double angleOut;
		int nOut;
	} cases[] = {
		{45, 5, 30, 0}, {-90, -1, -30, 0}, {12.5, 4, 12.5, 4}, {0, 3, 0, 3}, {30, 0, 30, 0},
	};
	for (const Case &c : cases) {
		StatReaderState st;
		FilterSettings s = defaults();
		s.platesAngle = c.angle;
		s.platesQuadN = c.n;
		applySettings(st, s, 1);
		EXPECT_DOUBLE_EQ(st.config.plates.angle, c.angleOut);
		EXPECT_EQ(st.config.plates.n, c.nOut);
	}
}

TEST(ApplySettings, AbsurdRegionValuesAreClamped)
{
	StatReaderState st;
	FilterSettings s = defaults();
	s.regions[kStatKills] = {2147483000LL, -9000000000LL, 1000, -5};
	s.regions[kStatWins] = {LLONG_MAX, LLONG_MIN, LLONG_MAX, LLONG_MAX};
	s.qx = {2000000000LL, -2000000000LL, 5, 6};
	applySettings(st, s, 1);
	EXPECT_EQ(st.config.regions[kStatKills], (StatRegion{16384, -16384, 1000, 0}));
	EXPECT_EQ(st.config.regions[kStatWins], (StatRegion{16384, -16384, 16384, 16384}));
	EXPECT_EQ(st.config.plates.qx[0], 16384);
	EXPECT_EQ(st.config.plates.qx[1], -16384);
	EXPECT_EQ(st.config.plates.qx[2], 5);
	// Sums of the clamped values cannot overflow 32 bits.
	EXPECT_LT(int64_t(st.config.regions[kStatWins].x) + st.config.regions[kStatWins].w, INT32_MAX);
}

TEST(ApplySettings, GameStartTime)
{
	StatReaderState st;
	FilterSettings s = defaults();
	applySettings(st, s, 5000);
	EXPECT_EQ(st.gameStartNs, 5000u) << "first update with no stored start takes now";
	applySettings(st, s, 9000);
	EXPECT_EQ(st.gameStartNs, 5000u) << "a later update with 0 keeps the start";
	s.gameStartNs = 7000;
	applySettings(st, s, 9000);
	EXPECT_EQ(st.gameStartNs, 7000u);
	s.gameStartNs = 123456789;
	applySettings(st, s, 9000);
	EXPECT_EQ(st.gameStartNs, 9000u) << "a start stored before a reboot lies in the future: now";
	s.gameStartNs = -5;
	applySettings(st, s, 9000);
	EXPECT_EQ(st.gameStartNs, 9000u);
}

TEST(ApplySettings, FlagsAndEventCopied)
{
	StatReaderState st;
	FilterSettings s = defaults();
	s.eventId = 12;
	s.matchLive = true;
	s.sawFullLobby = true;
	s.useWzPreset = false;
	s.send = false;
	s.regions[kStatDeaths] = {1, 2, 3, 4};
	applySettings(st, s, 1);
	EXPECT_EQ(st.config.eventId, 12);
	EXPECT_TRUE(st.matchLive);
	EXPECT_TRUE(st.sawFullLobby);
	EXPECT_FALSE(st.config.usePreset);
	EXPECT_FALSE(st.config.send);
	EXPECT_EQ(st.config.regions[kStatDeaths], (StatRegion{1, 2, 3, 4}));
}

TEST(ApplySettings, EventIdsBeyond32BitsAreClampedNotWrapped)
{
	// A wrapped id would post to another, real event.
	struct Case {
		int64_t stored;
		int32_t used;
	} cases[] = {
		{12, 12},
		{(int64_t(1) << 32) + 7, INT32_MAX},
		{INT64_MAX, INT32_MAX},
		{-(int64_t(1) << 32) + 7, INT32_MIN},
		{-3, -3},
	};
	for (const Case &c : cases) {
		StatReaderState st;
		FilterSettings s = defaults();
		s.eventId = c.stored;
		applySettings(st, s, 1);
		EXPECT_EQ(st.config.eventId, c.used) << c.stored;
	}
}

TEST(ApplySettings, NumberingNotYetWrittenIsNotTakenBack)
{
	// Memory is at game 6 of event 7 and the settings still say 4: their write is queued.
	struct Case {
		const char *name;
		int64_t event;
		int64_t gameNosEntry; // the settings' number for that event
		int32_t gameNo;
		std::map<int32_t, int32_t> rememberedForTheWrite;
	} cases[] = {
		{"same event", 7, 4, 6, {}},
		{"another event", 9, 2, 2, {{7, 6}}},
		{"back to an event left before the write", 3, 5, 8, {{3, 8}, {7, 6}}},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		StatReaderState st;
		st.config.eventId = 7;
		st.gameNo = 6;
		st.gameStartNs = 500;
		st.matchLive = true;
		st.numberingUnsaved = true;
		st.unsavedGameNos = {{3, 8}};
		FilterSettings s = defaults();
		s.eventId = c.event;
		s.gameNosEntry = c.gameNosEntry;
		s.gameNoEvent = 7;
		s.gameNo = 4;
		s.gameStartNs = 100;
		applySettings(st, s, 1000);
		EXPECT_EQ(st.gameNo, c.gameNo);
		EXPECT_EQ(st.gameStartNs, 500u);
		EXPECT_TRUE(st.matchLive);
		std::map<int32_t, int32_t> expected = c.rememberedForTheWrite;
		expected.emplace(3, 8);
		EXPECT_EQ(numberingOf(st).earlierEvents, expected);
	}
}

TEST(StoredGameNumber, LookupOrder)
{
	struct Case {
		int32_t event;
		std::optional<int64_t> entry;
		int64_t gameNoEvent;
		int64_t gameNo;
		int32_t expect;
	} cases[] = {
		{12, 3, 0, 1, 3},
		{40, 0, 40, 7, 7}, // not in the object, same event as game_no
		{41, 0, 40, 7, 1}, // any other event
		{0, 3, 0, 7, 1},   // no event
		{-4, 3, -4, 7, 1},
		{12, 1000, 12, 8, 8},         // out of range entry falls through
		{12, std::nullopt, 12, 8, 8}, // unparsable game_nos
		{12, std::nullopt, 12, 1000, 1},
		{12, std::nullopt, 12, 0, 1},
		{12, 999, 0, 1, 999},
	};
	for (const Case &c : cases)
		EXPECT_EQ(storedGameNumber(c.event, c.entry, c.gameNoEvent, c.gameNo), c.expect) << "event " << c.event;
}

TEST(ResetTracking, LeavesEndCardAndFlagsAlone)
{
	StatReaderState st;
	st.trackers[kStatKills].valid = true;
	st.lastSent[kStatKills] = 4;
	st.matchLive = st.sawFullLobby = st.final = st.forceSend = true;
	st.lastSendNs = 77;
	st.cardKills.valid = true;
	st.resetTracking();
	EXPECT_FALSE(st.trackers[kStatKills].valid);
	EXPECT_EQ(st.lastSent[kStatKills], kNeverSent);
	EXPECT_FALSE(st.matchLive);
	EXPECT_FALSE(st.sawFullLobby);
	EXPECT_EQ(st.lastSendNs, 0u);
	EXPECT_TRUE(st.final);
	EXPECT_TRUE(st.forceSend);
	EXPECT_TRUE(st.cardKills.valid);
}
