// Frame processing driven without a GPU: frames in memory, readers that answer what each
// test needs, and a clock the test moves.

#include "statreader/frame_processing.h"
#include "digits/learned_rules.h"
#include "statreader/hud_classifier.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace ostrelo;

namespace {

constexpr uint64_t kSecond = 1'000'000'000ULL;

StatReading reading(int32_t value, float confidence = 0.9f)
{
	StatReading r;
	r.ok = true;
	r.value = value;
	r.digits = 1;
	r.confidence = confidence;
	r.text = std::to_string(value);
	return r;
}

StatReading platesReading(float plates)
{
	StatReading r;
	r.ok = true;
	r.exactValue = plates;
	r.value = int32_t(plates + 0.5f);
	r.confidence = 0.9f;
	return r;
}

class FakeReaders : public StatReaders {
public:
	int32_t hud = kHudInMatch;
	std::map<std::string, StatReading> stats;
	std::map<std::string, StatReading> card;
	std::map<std::string, LearnedReading> learned; // by the key of the read just before
	std::vector<std::string> learnedCalls;
	std::string lastKey;
	StatReading plates;
	std::vector<std::string> digitCalls;
	std::vector<bool> specialFlags;
	std::optional<PlatesOutline> lastOutline;
	float lastAngle = -99.f;
	int32_t lastPlatesW = 0, lastPlatesH = 0;

	int32_t classify(const FrameView &) override { return hud; }
	StatReading readDigitStat(const RgbaImage &, std::string_view key, bool special) override
	{
		digitCalls.emplace_back(key);
		specialFlags.push_back(special);
		lastKey = key;
		auto it = stats.find(std::string(key));
		return it == stats.end() ? StatReading{} : it->second;
	}
	StatReading readPlates(const RgbaImage &crop, const std::optional<PlatesOutline> &outline, float angle) override
	{
		lastOutline = outline;
		lastAngle = angle;
		lastPlatesW = crop.width;
		lastPlatesH = crop.height;
		return plates;
	}
	StatReading readCardNumber(const RgbaImage &, std::string_view key) override
	{
		lastKey = "card " + std::string(key);
		auto it = card.find(std::string(key));
		return it == card.end() ? StatReading{} : it->second;
	}
	LearnedReading readLearned(const RgbaImage &) override
	{
		learnedCalls.push_back(lastKey);
		auto it = learned.find(lastKey);
		return it == learned.end() ? LearnedReading{} : it->second;
	}
};

class Processing : public ::testing::Test {
protected:
	static constexpr int32_t W = 1280, H = 720;
	std::vector<uint8_t> pixels = std::vector<uint8_t>(size_t(W) * H * 4, 0);
	StatReaderState st;
	FakeReaders readers;
	uint64_t now = 1000 * kSecond;

	void SetUp() override
	{
		st.config.token = "tok";
		st.config.eventId = 7;
		st.gameStartNs = now;
		// wins has no preset row: give it a region of its own
		st.config.regions[kStatWins] = {100, 100, 40, 20};
	}

	FrameEffects frame(int32_t site = 0)
	{
		now += kSecond / 5;
		return processFrame(st, FrameView{pixels.data(), W, H, uint32_t(W * 4)}, now, site, readers);
	}

	void hud(int32_t k, int32_t p, int32_t t)
	{
		readers.stats["kills"] = reading(k);
		readers.stats["players_left"] = reading(p);
		readers.stats["teams_left"] = reading(t);
	}

	// Three equal frames confirm a new value of the three-reading stats.
	FrameEffects confirm(int frames = 3)
	{
		FrameEffects fx;
		for (int i = 0; i < frames; ++i)
			fx = frame();
		return fx;
	}
};

int64_t intField(const UpdateFields &f, const char *key)
{
	auto it = f.find(key);
	return it == f.end() ? -9999 : it->second.i;
}

} // namespace

TEST_F(Processing, LiveMatchValuesAreConfirmedAndSent)
{
	st.matchLive = true;
	hud(3, 97, 40);
	EXPECT_FALSE(frame().send);
	EXPECT_FALSE(frame().send);
	const FrameEffects fx = frame();
	ASSERT_TRUE(fx.send);
	EXPECT_EQ(intField(fx.send->fields, "kills"), 3);
	EXPECT_EQ(intField(fx.send->fields, "players_left"), 97);
	EXPECT_EQ(intField(fx.send->fields, "teams_left"), 40);
	EXPECT_FALSE(fx.send->fields.count("new_game"));
	EXPECT_EQ(fx.send->eventId, 7);
	EXPECT_EQ(fx.send->token, "tok");
	EXPECT_EQ(fx.send->gameNo, 1);
	EXPECT_TRUE(fx.refreshProperties);
	EXPECT_EQ(st.lastSent[kStatKills], 3);
}

TEST_F(Processing, MatchGateBeforeTheMatch)
{
	struct Case {
		int32_t k, p, t;
		bool liveAfter, lobbyAfter;
	} cases[] = {
		{0, 15, 10, false, false},                               // too few players, no lobby seen: dropped
		{0, 150, 40, true, true},                                // a full lobby starts the match
		{0, 20, 10, true, false},                                // 20 players is enough on its own
		{0, 19, 10, false, false},    {0, 97, 98, false, false}, // more teams than players: dropped
		{0, 156, 40, false, false},                              // above 155 players is never plausible
		{1000, 97, 40, false, false},
	};
	for (const Case &c : cases) {
		StatReaderState fresh;
		st = fresh;
		st.config.token = "tok";
		st.config.eventId = 7;
		hud(c.k, c.p, c.t);
		const FrameEffects fx = frame();
		EXPECT_EQ(st.matchLive, c.liveAfter) << c.k << "/" << c.p << "/" << c.t;
		EXPECT_EQ(st.sawFullLobby, c.lobbyAfter) << c.k << "/" << c.p << "/" << c.t;
		EXPECT_EQ(fx.saveNumbering, c.liveAfter || c.lobbyAfter);
		// A dropped frame offers failed readings: the trackers hold no candidate.
		if (!c.liveAfter) {
			EXPECT_EQ(st.trackers[kStatPlayersLeft].count, 0);
		}
	}
}

TEST_F(Processing, GateDropsEveryReadingOfTheFrame)
{
	st.matchLive = true;
	hud(3, 40, 41); // teams above players
	readers.stats["wins"] = reading(2);
	readers.plates = platesReading(2.f);
	confirm(4);
	for (int i = 0; i < kStatCount; ++i)
		EXPECT_FALSE(st.trackers[size_t(i)].valid) << kStatTable[size_t(i)].key;
}

TEST_F(Processing, PlayersLeftAbove155NeverAccepted)
{
	st.matchLive = true;
	hud(3, 156, 40);
	confirm(5);
	EXPECT_FALSE(st.trackers[kStatPlayersLeft].valid);
}

TEST_F(Processing, LowConfidenceIsNoReading)
{
	st.matchLive = true;
	hud(3, 97, 40);
	readers.stats["kills"] = reading(3, 0.759f);
	confirm(4);
	EXPECT_FALSE(st.trackers[kStatKills].valid);
	EXPECT_FALSE(st.trackers[kStatPlayersLeft].valid) << "the gate needs all three counters";
}

TEST_F(Processing, LearnedReaderVetoesAndStandsIn)
{
	const float sure = kLearnedThresholds.backup, vetoOnly = kLearnedThresholds.veto;
	ASSERT_LT(vetoOnly, sure);
	struct Case {
		const char *what;
		StatReading templ, learned;
		bool valid;
		int32_t value;
	} cases[] = {
		{"agreeing", reading(7), reading(7, sure), true, 7},
		{"vetoed", reading(7), reading(17, vetoOnly), false, 0},
		{"vetoed, the learned number stands in", reading(7), reading(17, sure), true, 17},
		{"not sure enough to veto", reading(7), reading(17, vetoOnly - 0.01f), true, 7},
		{"standing in for no reading", StatReading{}, reading(17, sure), true, 17},
		{"not sure enough to stand in", StatReading{}, reading(17, vetoOnly), false, 0},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		st = StatReaderState{};
		readers = FakeReaders{}; // a learned reader that reads the same crop differently is another one
		st.config.game = "mw4-multiplayer";
		st.config.regions[kStatKills] = {10, 10, 40, 20};
		readers.stats["kills"] = c.templ;
		readers.learned["kills"] = LearnedReading{c.learned, {}, 0.f};
		confirm(3);
		EXPECT_EQ(st.trackers[kStatKills].valid, c.valid);
		EXPECT_EQ(st.trackers[kStatKills].value, c.value);
	}
}

TEST_F(Processing, LearnedReaderOnlyAskedWhenItCanChangeTheOutcome)
{
	st.config.game = "mw4-multiplayer";
	st.config.regions[kStatKills] = {10, 10, 40, 20};
	// Each frame's kills crop differs from the last in one pixel, except where said.
	uint8_t &inCrop = pixels[(size_t(15) * W + 20) * 4];
	const auto changedFrame = [&] {
		++inCrop;
		return frame();
	};
	readers.stats["kills"] = reading(7);
	for (int i = 0; i < 3; ++i)
		changedFrame();
	ASSERT_TRUE(st.trackers[kStatKills].valid);
	EXPECT_EQ(readers.learnedCalls.size(), 3u) << "asked while nothing was confirmed";
	readers.learnedCalls.clear();
	for (int i = 0; i < 5; ++i)
		changedFrame();
	EXPECT_TRUE(readers.learnedCalls.empty()) << "the confirmed value read again";
	readers.stats["kills"] = reading(8);
	changedFrame();
	readers.stats["kills"] = StatReading{};
	changedFrame();
	EXPECT_EQ(readers.learnedCalls.size(), 2u) << "a new candidate and a failed read";

	// The learned reader stands in with 9 where the template readers read nothing; the same
	// crop twice more gets its reading without asking it, and confirms 9.
	readers.learned["kills"] = LearnedReading{reading(9, kLearnedThresholds.backup), {}, 0.f};
	changedFrame();
	readers.learnedCalls.clear();
	frame();
	frame();
	EXPECT_TRUE(readers.learnedCalls.empty()) << "the same crop as the last one it read";
	EXPECT_TRUE(st.trackers[kStatKills].valid);
	EXPECT_EQ(st.trackers[kStatKills].value, 9);
}

TEST_F(Processing, EndCardNumbersGetTheLearnedReadersOpinionToo)
{
	st.trackers[kStatPlayersLeft] = {true, 4, 0, 0};
	st.matchLive = true;
	readers.hud = kHudPlacementCard;
	readers.card["kills"] = reading(7);
	readers.learned["card placement"] = LearnedReading{reading(2, kLearnedThresholds.backup), {}, 0.f};
	frame();
	const FrameEffects fx = frame();
	ASSERT_TRUE(fx.send);
	EXPECT_EQ(intField(fx.send->fields, "placement"), 2);
}

TEST_F(Processing, PlatesInTenths)
{
	st.matchLive = true;
	hud(3, 97, 40);
	readers.plates = platesReading(3.1f);
	confirm(3);
	EXPECT_FALSE(st.trackers[kStatPlates].valid) << "3.1 plates is not a plates count";

	readers.plates = platesReading(2.5f);
	frame();
	const FrameEffects fx = frame();
	ASSERT_TRUE(st.trackers[kStatPlates].valid);
	EXPECT_EQ(st.trackers[kStatPlates].value, 25);
	ASSERT_TRUE(fx.send);
	ASSERT_TRUE(fx.send->fields.count("plates"));
	EXPECT_TRUE(fx.send->fields.at("plates").isDouble);
	EXPECT_DOUBLE_EQ(fx.send->fields.at("plates").d, 2.5);
}

TEST_F(Processing, PlatesOutlineBoundsAreReadInstead)
{
	st.matchLive = true;
	hud(3, 97, 40);
	st.config.plates.n = 4;
	st.config.plates.qx = {100, 200, 201, 99};
	st.config.plates.qy = {600, 602, 630, 628};
	st.config.plates.angle = 12.0;
	frame();
	ASSERT_TRUE(readers.lastOutline);
	EXPECT_FLOAT_EQ(readers.lastAngle, 0.f);
	EXPECT_EQ(readers.lastPlatesW, 201 + 2 - (99 - 2));
	EXPECT_EQ(readers.lastPlatesH, 630 + 2 - (600 - 2));
	EXPECT_FLOAT_EQ((*readers.lastOutline)[0].x, 100.f - 97.f);
	EXPECT_FLOAT_EQ((*readers.lastOutline)[3].y, 628.f - 598.f);

	// An outline too small for a reading falls back to the region and the angle.
	st.config.plates.qx = {100, 105, 105, 100};
	frame();
	EXPECT_FALSE(readers.lastOutline);
	EXPECT_FLOAT_EQ(readers.lastAngle, 12.f);
}

TEST_F(Processing, RegionsOffTheFrameAreSkipped)
{
	st.config.game = "mw4-multiplayer";
	st.config.regions[kStatKills] = {W - 3, 10, 40, 20};  // 3 px left on the frame
	st.config.regions[kStatDeaths] = {-100, 10, 104, 20}; // 4 px left: read
	st.config.regions[kStatScore] = {10, 10, 3, 20};      // never set
	readers.stats["deaths"] = reading(1);
	frame();
	EXPECT_EQ(readers.digitCalls, (std::vector<std::string>{"deaths"}));
	EXPECT_EQ(readers.specialFlags, (std::vector<bool>{false}));
}

TEST_F(Processing, RedCounterFlagOnlyForTheThreeWarzoneCounters)
{
	st.matchLive = true;
	hud(3, 97, 40);
	frame();
	std::map<std::string, bool> special;
	for (size_t i = 0; i < readers.digitCalls.size(); ++i)
		special[readers.digitCalls[i]] = readers.specialFlags[i];
	EXPECT_EQ(special, (std::map<std::string, bool>{
				   {"kills", true}, {"players_left", true}, {"teams_left", true}, {"wins", false}}));
}

TEST_F(Processing, FinalResultFromTheEndCard)
{
	struct Case {
		int32_t liveKills, cardKills, expect;
	} cases[] = {{9, 7, 9}, {12, 7, 7}, {7, 7, 7}, {5, 7, 7}, {10, 7, 10}};
	for (const Case &c : cases) {
		StatReaderState fresh;
		st = fresh;
		st.config.token = "tok";
		st.config.eventId = 7;
		st.trackers[kStatKills].valid = true;
		st.trackers[kStatKills].value = c.liveKills;
		st.trackers[kStatPlayersLeft] = {true, 4, 0, 0};
		st.matchLive = true;
		readers.hud = kHudPlacementCard;
		readers.card["kills"] = reading(c.cardKills);
		readers.card["placement"] = reading(2);
		EXPECT_FALSE(frame().send);
		const FrameEffects fx = frame(); // two equal card readings confirm
		ASSERT_TRUE(fx.send) << c.liveKills;
		EXPECT_EQ(fx.send->fields.size(), 3u);
		EXPECT_EQ(intField(fx.send->fields, "kills"), c.expect) << c.liveKills << " vs card " << c.cardKills;
		EXPECT_EQ(intField(fx.send->fields, "placement"), 2);
		EXPECT_EQ(intField(fx.send->fields, "new_game"), 1);
		EXPECT_TRUE(st.final);
		EXPECT_FALSE(st.matchLive);
		EXPECT_TRUE(fx.saveNumbering);
		EXPECT_EQ(st.trackers[kStatKills].value, c.expect);
	}
}

TEST_F(Processing, AfterTheFinalANewGameStartsInTheNextMatch)
{
	st.matchLive = true;
	st.trackers[kStatKills] = {true, 4, 0, 0};
	st.trackers[kStatPlayersLeft] = {true, 3, 0, 0};
	readers.hud = kHudAfterAction;
	readers.card["kills"] = reading(4);
	readers.card["placement"] = reading(1);
	frame();
	frame();
	ASSERT_TRUE(st.final);

	// Still on the card: no new game, and the final is not sent twice.
	FrameEffects fx = frame();
	EXPECT_TRUE(st.final);
	EXPECT_EQ(st.gameNo, 1);

	// After the final, heartbeats leave players and teams left out.
	bool heartbeat = false;
	for (int i = 0; i < 55 && !heartbeat; ++i) {
		fx = frame();
		if (fx.send) {
			heartbeat = true;
			EXPECT_EQ(intField(fx.send->fields, "kills"), 4);
			EXPECT_FALSE(fx.send->fields.count("players_left"));
			EXPECT_FALSE(fx.send->fields.count("new_game"));
		}
	}
	EXPECT_TRUE(heartbeat);
	readers.hud = kHudInMatch;
	readers.stats.clear();
	fx = frame();
	EXPECT_EQ(st.gameNo, 2);
	EXPECT_FALSE(st.final);
	EXPECT_FALSE(st.trackers[kStatKills].valid) << "tracking starts over";
	EXPECT_FALSE(st.cardKills.valid);
	EXPECT_TRUE(fx.saveNumbering);
	ASSERT_TRUE(fx.send);
	EXPECT_EQ(intField(fx.send->fields, "new_game"), 1);
	EXPECT_EQ(fx.send->gameNo, 2);
}

// The HUD state may never read "in-match" on a HUD the classifier does not know: the counters
// showing a full lobby for two frames start the next game instead, and nothing less does.
TEST_F(Processing, AfterTheFinalAFullLobbyOnTheCountersIsTheNextGame)
{
	struct Case {
		const char *what;
		int32_t hudState, players, teams;
		int frames;
		int32_t gameNo;
	};
	const Case cases[] = {
		{"full lobby, two frames", kHudUnknown, 150, 50, 2, 2},
		{"full lobby, one frame", kHudUnknown, 150, 50, 1, 1},
		{"full lobby on the end card", kHudPlacementCard, 150, 50, 4, 1},
		{"players left from the last match", kHudUnknown, 3, 2, 4, 1},
		{"teams above players: no plausible triple", kHudUnknown, 150, 151, 4, 1},
	};
	for (const Case &c : cases) {
		st = StatReaderState{};
		SetUp();
		st.final = true;
		st.trackers[kStatKills] = {true, 4, 0, 0};
		readers.hud = c.hudState;
		hud(0, c.players, c.teams);
		FrameEffects fx;
		bool newGameSent = false;
		for (int i = 0; i < c.frames; ++i) {
			fx = frame();
			newGameSent = newGameSent || (fx.send && intField(fx.send->fields, "new_game") == 1);
		}
		EXPECT_EQ(st.gameNo, c.gameNo) << c.what;
		EXPECT_EQ(st.final, c.gameNo == 1) << c.what;
		EXPECT_EQ(newGameSent, c.gameNo == 2) << c.what;
	}
}

TEST_F(Processing, GameNumberIsCappedAt999)
{
	st.gameNo = 999;
	st.final = true;
	readers.hud = kHudDowned;
	const FrameEffects fx = frame();
	EXPECT_EQ(st.gameNo, 999);
	ASSERT_TRUE(fx.send);
	EXPECT_EQ(intField(fx.send->fields, "new_game"), 1);
}

TEST_F(Processing, PlayersLeftRiseIsANewGameOnlyAfter300Seconds)
{
	for (uint64_t age : {299 * kSecond, 301 * kSecond}) {
		StatReaderState fresh;
		st = fresh;
		st.config.token = "tok";
		st.config.eventId = 7;
		st.matchLive = true;
		st.trackers[kStatPlayersLeft] = {true, 25, 0, 0};
		st.trackers[kStatKills] = {true, 5, 0, 0};
		st.gameStartNs = now - age;
		hud(0, 150, 50);
		confirm(3);
		if (age > 300 * kSecond) {
			EXPECT_EQ(st.gameNo, 2) << "age " << age / kSecond;
			EXPECT_FALSE(st.trackers[kStatPlayersLeft].valid);
		} else {
			EXPECT_EQ(st.gameNo, 1) << "age " << age / kSecond;
			EXPECT_EQ(st.trackers[kStatPlayersLeft].value, 150);
		}
	}
}

TEST_F(Processing, SendingOffStillConfirms)
{
	st.config.send = false;
	st.matchLive = true;
	hud(3, 97, 40);
	for (int i = 0; i < 60; ++i) {
		const FrameEffects fx = frame();
		EXPECT_FALSE(fx.send);
		EXPECT_FALSE(fx.warnNotConfigured);
	}
	EXPECT_TRUE(st.trackers[kStatKills].valid);
}

TEST_F(Processing, MissingTokenOrEventWarnsInsteadOfSending)
{
	for (int variant = 0; variant < 2; ++variant) {
		StatReaderState fresh;
		st = fresh;
		st.config.token = variant ? "" : "tok";
		st.config.eventId = variant ? 7 : 0;
		st.matchLive = true;
		hud(3, 97, 40);
		frame();
		frame();
		const FrameEffects fx = frame();
		EXPECT_FALSE(fx.send);
		EXPECT_TRUE(fx.warnNotConfigured);
	}
}

TEST_F(Processing, HeartbeatEveryTenSecondsWhileConfirmed)
{
	st.matchLive = true;
	hud(3, 97, 40);
	ASSERT_TRUE(confirm(3).send);
	int sends = 0;
	// 60 frames at 200 ms = 12 s: one heartbeat after 10 s.
	for (int i = 0; i < 60; ++i) {
		const FrameEffects fx = frame();
		if (fx.send) {
			++sends;
			EXPECT_EQ(intField(fx.send->fields, "kills"), 3);
			EXPECT_EQ(intField(fx.send->fields, "players_left"), 97);
		}
	}
	EXPECT_EQ(sends, 1);
}

TEST_F(Processing, SiteGameNumberAdoption)
{
	st.trackers[kStatKills] = {true, 9, 0, 0};
	st.gameNo = 4;
	FrameEffects fx = frame(5);
	EXPECT_EQ(st.gameNo, 5);
	EXPECT_FALSE(st.trackers[kStatKills].valid);
	EXPECT_TRUE(fx.saveNumbering);
	EXPECT_EQ(st.lastSendNs, now);

	fx = frame(5);
	EXPECT_FALSE(fx.saveNumbering) << "the same number changes nothing";

	// A service number above the cap is taken as 999 once, not on every frame.
	st.gameNo = 999;
	st.trackers[kStatKills] = {true, 9, 0, 0};
	fx = frame(1000);
	EXPECT_EQ(st.gameNo, 999);
	EXPECT_TRUE(st.trackers[kStatKills].valid);
	EXPECT_FALSE(fx.saveNumbering);
	fx = frame(-3);
	EXPECT_EQ(st.gameNo, 999);
}

TEST_F(Processing, Mw4HasNoGateAndNoEndCard)
{
	st.config.game = "mw4-multiplayer";
	st.config.regions[kStatKills] = {10, 10, 40, 20};
	st.config.regions[kStatDeaths] = {10, 40, 40, 20};
	st.config.regions[kStatScore] = {10, 70, 80, 20};
	readers.stats["kills"] = reading(2);
	readers.stats["deaths"] = reading(1);
	readers.stats["score"] = reading(1450);
	readers.hud = kHudPlacementCard;
	readers.card["kills"] = reading(2);
	readers.card["placement"] = reading(1);
	const FrameEffects fx = confirm(3);
	ASSERT_TRUE(fx.send);
	EXPECT_EQ(intField(fx.send->fields, "score"), 1450);
	EXPECT_FALSE(fx.send->fields.count("placement"));
	EXPECT_FALSE(st.final);
	EXPECT_FALSE(st.matchLive);
}

TEST_F(Processing, ForceSendCarriesNewGameOnce)
{
	st.forceSend = true;
	FrameEffects fx = frame();
	ASSERT_TRUE(fx.send);
	EXPECT_EQ(fx.send->fields.size(), 1u);
	EXPECT_EQ(intField(fx.send->fields, "new_game"), 1);
	fx = frame();
	EXPECT_FALSE(fx.send);
}

namespace {

// Processing without its shortcuts: every stat read, the learned reader asked afresh.
class EveryReading final : public FakeReaders {
public:
	bool wantsEveryReading() const override { return true; }
};

// What a frame left behind, as text: differences show in the failure message.
std::string outcomeOf(const StatReaderState &st, const FrameEffects &fx)
{
	std::string s;
	for (const StatTracker &t : st.trackers)
		s += std::to_string(t.valid) + ":" + std::to_string(t.value) + ":" + std::to_string(t.candidate) + ":" +
		     std::to_string(t.count) + " ";
	for (int32_t v : st.lastSent)
		s += std::to_string(v) + " ";
	s += "live " + std::to_string(st.matchLive) + " lobby " + std::to_string(st.sawFullLobby) + " final " +
	     std::to_string(st.final) + " lobbies " + std::to_string(st.fullLobbiesAfterFinal) + " game " +
	     std::to_string(st.gameNo) + " force " + std::to_string(st.forceSend) + " sent at " +
	     std::to_string(st.lastSendNs) + " | save " + std::to_string(fx.saveNumbering) + " refresh " +
	     std::to_string(fx.refreshProperties) + " warn " + std::to_string(fx.warnNotConfigured);
	if (fx.send)
		for (const auto &[key, v] : fx.send->fields)
			s += " " + key + "=" + (v.isDouble ? std::to_string(v.d) : std::to_string(v.i));
	return s;
}

} // namespace

// Every state of the Warzone match gate against every kind of counter reading: processing that
// reads only what can change its outcome ends each frame exactly as processing that reads
// everything, and a frame whose players-left counter reads nothing costs at most that reading.
TEST(ProcessingShortcuts, GateOutcomeAsWithEveryReading)
{
	constexpr int32_t W = 1280, H = 720;
	const std::vector<uint8_t> pixels(size_t(W) * H * 4, 0);
	const std::optional<int32_t> kills[] = {std::nullopt, 3, 1000};
	const std::optional<int32_t> players[] = {std::nullopt, 0, 1, 2, 15, 20, 97, 120, 150, 156};
	const std::optional<int32_t> teams[] = {std::nullopt, 0, 1, 10, 40, 130};
	int cases = 0, readsSaved = 0;
	for (const int32_t hudState : {kHudInMatch, kHudPlacementCard, kHudUnknown})
		for (int flags = 0; flags < 16; ++flags)
			for (const auto &k : kills)
				for (const auto &p : players)
					for (const auto &t : teams) {
						StatReaderState start;
						start.config.token = "tok";
						start.config.eventId = 7;
						start.config.regions[kStatWins] = {100, 100, 40, 20};
						start.matchLive = flags & 1;
						start.sawFullLobby = flags & 2;
						start.final = flags & 4;
						start.fullLobbiesAfterFinal = flags & 8 ? 1 : 0;
						start.trackers[kStatWins] = {true, 1, 2, 2};
						start.trackers[kStatPlates] = {true, 20, 25, 1};
						StatReaderState shortcut = start, every = start;
						FakeReaders fewer;
						EveryReading all;
						for (FakeReaders *r : {&fewer, static_cast<FakeReaders *>(&all)}) {
							r->hud = hudState;
							if (k)
								r->stats["kills"] = reading(*k);
							if (p)
								r->stats["players_left"] = reading(*p);
							if (t)
								r->stats["teams_left"] = reading(*t);
							r->stats["wins"] = reading(2);
							r->plates = platesReading(2.5f);
						}
						const FrameView view{pixels.data(), W, H, uint32_t(W) * 4};
						const uint64_t now = 1000 * kSecond;
						const FrameEffects a = processFrame(shortcut, view, now, 0, fewer);
						const FrameEffects b = processFrame(every, view, now, 0, all);
						ASSERT_EQ(outcomeOf(shortcut, a), outcomeOf(every, b))
							<< "hud " << hudState << " flags " << flags << " k "
							<< k.value_or(-1) << " p " << p.value_or(-1) << " t "
							<< t.value_or(-1);
						ASSERT_LE(fewer.digitCalls.size(), all.digitCalls.size());
						if (!p) {
							EXPECT_LE(fewer.digitCalls.size(), 1u);
						}
						readsSaved += int(all.digitCalls.size() - fewer.digitCalls.size());
						++cases;
					}
	EXPECT_GT(readsSaved, cases) << "the shortcuts hardly ever take one";
}
