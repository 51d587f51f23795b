#include "statreader/frame_processing.h"
#include "statreader/hud_classifier.h"
#include "statreader/numbering.h"

#include <gtest/gtest.h>

using namespace ostrelo;

namespace {

StatReaderState configured(bool canSend)
{
	StatReaderState st;
	st.config.token = canSend ? "tok" : "";
	st.config.eventId = 12;
	st.gameNo = 4;
	st.trackers[kStatKills] = {true, 9, 0, 0};
	st.lastSent[kStatKills] = 9;
	st.matchLive = true;
	st.final = true;
	st.cardKills = {true, 9, 0, 0};
	return st;
}

// Frames that read nothing and show one HUD state.
class FixedHud : public StatReaders {
public:
	explicit FixedHud(int32_t hud) : hud_(hud) {}
	int32_t classify(const FrameView &) override { return hud_; }
	StatReading readDigitStat(const RgbaImage &, std::string_view, bool) override { return {}; }
	StatReading readPlates(const RgbaImage &, const std::optional<PlatesOutline> &, float) override { return {}; }
	StatReading readCardNumber(const RgbaImage &, std::string_view) override { return {}; }

private:
	int32_t hud_;
};

} // namespace

TEST(NumberingButtons, NewGameAndResetSendWhenTheyCan)
{
	struct Case {
		bool reset;
		int32_t startNo;
		int32_t expectNo;
		const char *field;
	} cases[] = {
		{false, 4, 5, "new_game"},
		{false, 999, 999, "new_game"}, // capped, still a new game
		{true, 4, 1, "game_no"},
		{true, 1, 1, "game_no"},
	};
	for (const Case &c : cases) {
		StatReaderState st = configured(true);
		st.gameNo = c.startNo;
		const std::optional<PendingSend> send =
			c.reset ? pressResetGameNumber(st, 5000) : pressNewGame(st, 5000);
		const NumberingValues saved = numberingOf(st);
		EXPECT_EQ(saved.gameNo, c.expectNo);
		EXPECT_EQ(saved.eventId, 12);
		EXPECT_EQ(saved.gameStartNs, 5000u);
		EXPECT_FALSE(saved.matchLive) << "tracking reset clears the match state before the save";
		ASSERT_TRUE(send);
		EXPECT_EQ(send->fields.size(), 1u);
		EXPECT_EQ(send->fields.at(c.field), FieldValue::integer(1));
		EXPECT_EQ(send->gameNo, c.expectNo);
		EXPECT_FALSE(st.forceSend) << "the button's update already announced the game";
		EXPECT_FALSE(st.trackers[kStatKills].valid);
		EXPECT_EQ(st.lastSent[kStatKills], kNeverSent);
		// Only the automatic new game clears the end-card state.
		EXPECT_TRUE(st.final);
		EXPECT_TRUE(st.cardKills.valid);
	}
}

TEST(NumberingButtons, WithoutSendingTheNextFrameAnnouncesTheGame)
{
	for (int variant = 0; variant < 3; ++variant) {
		StatReaderState st = configured(true);
		if (variant == 0)
			st.config.send = false;
		if (variant == 1)
			st.config.token.clear();
		if (variant == 2)
			st.config.eventId = 0;
		EXPECT_FALSE(pressNewGame(st, 5000));
		EXPECT_TRUE(st.forceSend);
	}
}

TEST(NumberingButtons, ResetThenNextFrameCarriesNoNewGame)
{
	// A reset that was sent leaves nothing for the next frame to announce.
	FixedHud readers(kHudUnknown);
	StatReaderState st = configured(true);
	st.final = false;
	pressResetGameNumber(st, 5000);
	std::vector<uint8_t> px(64 * 64 * 4);
	const FrameEffects fx = processFrame(st, FrameView{px.data(), 64, 64, 256}, 6000, 0, readers);
	EXPECT_FALSE(fx.send);
}

TEST(NumberingButtons, AfterAFinalNewGameThenInMatchStartsTheGameAfter)
{
	// Final at game 4; "New game" makes 5; the final flag survives the button, so the next
	// in-match frame starts game 6.
	FixedHud readers(kHudInMatch);
	StatReaderState st = configured(true);
	pressNewGame(st, 5000);
	EXPECT_EQ(st.gameNo, 5);
	std::vector<uint8_t> px(64 * 64 * 4);
	const FrameEffects fx = processFrame(st, FrameView{px.data(), 64, 64, 256}, 6000, 0, readers);
	EXPECT_EQ(st.gameNo, 6);
	ASSERT_TRUE(fx.send);
	EXPECT_EQ(fx.send->gameNo, 6);
}
