// The replay's own rules: the capture rhythm, the staged frame it processes, and how
// confirmed values are held against the expectation file.

#include "tools/replay/capture_cadence.h"
#include "tools/replay/expectations.h"
#include "tools/replay/replay_session.h"

#include "statreader/hud_classifier.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace ostrelo;
using namespace ostrelo::replay;

namespace {

constexpr uint64_t kMs = 1'000'000ULL;
constexpr uint64_t kSec = 1'000'000'000ULL;

// (render frame processed, render call that processed it) over the first second.
std::vector<std::pair<int64_t, int64_t>> processedOverOneSecond(double fps)
{
	CaptureCadence c;
	std::vector<std::pair<int64_t, int64_t>> out;
	for (int64_t k = 0; renderFrameNs(k, fps) < kSec; ++k) {
		const auto step = c.onRender(k, ReplaySession::kClockBaseNs + renderFrameNs(k, fps));
		if (step.processed)
			out.emplace_back(*step.processed, k);
	}
	return out;
}

TEST(CaptureCadence, FramesComeInPairsAbout200MsApart)
{
	using Pairs = std::vector<std::pair<int64_t, int64_t>>;
	const struct {
		double fps;
		Pairs expected;
	} cases[] = {
		// 60 fps: read at 16.7 ms and 33.3 ms, then 233 ms later again.
		{60, {{0, 1}, {1, 2}, {14, 15}, {15, 16}, {28, 29}, {29, 30}, {42, 43}, {43, 44}, {56, 57}, {57, 58}}},
		{30, {{0, 1}, {1, 2}, {8, 9}, {9, 10}, {16, 17}, {17, 18}, {24, 25}, {25, 26}}},
		// Slower than the spacing: every frame is staged and read on the next call.
		{4, {{0, 1}, {1, 2}, {2, 3}}},
	};
	for (const auto &c : cases)
		EXPECT_EQ(processedOverOneSecond(c.fps), c.expected) << c.fps << " fps";
}

// Each frame's first byte says which frame it is; the HUD state reports that byte.
class ByteReaders : public StatReaders {
public:
	std::map<std::string, int32_t> values; // what every digit stat reads
	int32_t classify(const FrameView &f) override { return f.data[0]; }
	StatReading readDigitStat(const RgbaImage &, std::string_view key, bool) override
	{
		StatReading r;
		const auto it = values.find(std::string(key));
		if (it == values.end())
			return r;
		r.ok = true;
		r.value = it->second;
		r.digits = 1;
		r.confidence = 0.9f;
		return r;
	}
	StatReading readPlates(const RgbaImage &, const std::optional<PlatesOutline> &, float) override { return {}; }
	StatReading readCardNumber(const RgbaImage &, std::string_view) override { return {}; }
};

struct Frames {
	int32_t w = 320, h = 180;
	std::vector<uint8_t> px = std::vector<uint8_t>(size_t(w) * size_t(h) * 4, 0);
	FrameView show(uint8_t id)
	{
		px[0] = id;
		return FrameView{px.data(), w, h, uint32_t(w) * 4};
	}
};

TEST(ReplaySession, ProcessesTheStagedFrameNotTheOneOnScreen)
{
	auto readers = std::make_unique<ByteReaders>();
	ReplaySession s(StatReaderState{}, std::move(readers));
	Frames f;
	std::vector<std::pair<int64_t, int32_t>> seen; // processed frame, HUD state it produced
	for (int64_t k = 0; k < 30; ++k) {
		const auto p = s.render(f.show(uint8_t(k % 7)), k, renderFrameNs(k, 30));
		if (p)
			seen.emplace_back(p->frame, p->hudAfter);
	}
	ASSERT_FALSE(seen.empty());
	for (const auto &[frame, hud] : seen)
		EXPECT_EQ(hud, frame % 7) << "frame " << frame;
	EXPECT_EQ(s.processedCount(), int64_t(seen.size()));
}

TEST(ReplaySession, AFrameStagedAtAnotherSizeIsDropped)
{
	ReplaySession s(StatReaderState{}, std::make_unique<ByteReaders>());
	Frames small;
	std::vector<uint8_t> big(size_t(640) * 360 * 4, 3);
	EXPECT_FALSE(s.render(small.show(1), 0, 0));
	EXPECT_FALSE(s.render(FrameView{big.data(), 640, 360, 640 * 4}, 1, renderFrameNs(1, 30)))
		<< "the staged 320x180 frame belongs to the old input";
	const auto p = s.render(FrameView{big.data(), 640, 360, 640 * 4}, 2, renderFrameNs(2, 30));
	ASSERT_TRUE(p);
	EXPECT_EQ(p->frame, 1);
}

TEST(ReplaySession, ReportsConfirmedChangesAndTheUpdate)
{
	auto readers = std::make_unique<ByteReaders>();
	readers->values = {{"kills", 3}, {"players_left", 97}, {"teams_left", 40}};
	StatReaderState st;
	st.config.token = "tok";
	st.config.eventId = 7;
	ReplaySession s(std::move(st), std::move(readers));
	Frames f{1280, 720}; // large enough for the preset's counter rectangles
	std::optional<ProcessedFrame> first;
	for (int64_t k = 0; k < 60 && !first; ++k) {
		auto p = s.render(f.show(uint8_t(kHudInMatch)), k, renderFrameNs(k, 30));
		if (p && !p->changes.empty())
			first = std::move(p);
	}
	ASSERT_TRUE(first);
	std::map<std::string, std::pair<std::optional<double>, std::optional<double>>> got;
	for (const ValueChange &c : first->changes)
		got[c.key] = {c.before, c.after};
	EXPECT_EQ(got["kills"], std::make_pair(std::optional<double>(), std::optional<double>(3)));
	EXPECT_EQ(got["players_left"].second, 97);
	EXPECT_EQ(got["teams_left"].second, 40);
	EXPECT_FALSE(got.count("game_no")) << "the game number did not change";
	ASSERT_TRUE(first->effects.send);
	EXPECT_EQ(first->effects.send->fields.at("kills"), FieldValue::integer(3));
	EXPECT_EQ(first->effects.send->eventId, 7);
	EXPECT_EQ(s.observed().at("game_no"), 1);
}

TEST(Expectations, ParsesTimesFramesValuesAndComments)
{
	const ExpectFile f = parseExpectations("# a comment\n"
					       "0 game_no=1\n"
					       "\n"
					       "2.5s kills=0 plates=2.5   # trailing comment\n"
					       "#120 players_left=-\n");
	ASSERT_TRUE(f.error.empty()) << f.error;
	ASSERT_EQ(f.entries.size(), 4u);
	EXPECT_EQ(f.entries[0].key, "game_no");
	EXPECT_EQ(f.entries[0].value, 1.0);
	EXPECT_EQ(f.entries[1].seconds, 2.5);
	EXPECT_EQ(f.entries[2].value, 2.5);
	EXPECT_EQ(f.entries[2].line, 4);
	EXPECT_TRUE(f.entries[3].isFrame);
	EXPECT_EQ(f.entries[3].frame, 120);
	EXPECT_FALSE(f.entries[3].value);
}

TEST(Expectations, RejectsWhatItCannotRead)
{
	const struct {
		const char *text;
		const char *error;
	} cases[] = {
		{"1 kils=3\n", "line 1: unknown key \"kils\""},
		{"0 kills=1\nsoon kills=2\n", "line 2: \"soon\" is not a time in seconds"},
		{"-1 kills=2\n", "line 1: \"-1\" is not a time in seconds"},
		{"3\n", "line 1: a time without values"},
		{"3 kills\n", "line 1: \"kills\" is not key=value"},
		{"3 kills=two\n", "line 1: \"two\" is not a number"},
		{"3 kills=nan\n", "line 1: \"nan\" is not a number"},
		{"#1.5 kills=2\n", "line 1: \"#1.5\" is not a frame number"},
	};
	for (const auto &c : cases) {
		const ExpectFile f = parseExpectations(c.text);
		EXPECT_EQ(f.error, c.error) << c.text;
		EXPECT_TRUE(f.entries.empty()) << c.text;
	}
}

// The footage shows kills 1 from 0 s, 2 from 10 s and 3 from 20 s; it ends at 30 s.
class Check : public ::testing::Test {
protected:
	ExpectationCheck check{parseExpectations("0 kills=1\n10 kills=2\n20 kills=3\n").entries,
			       [](int64_t) { return uint64_t(0); }, 1500 * kMs};
	void hold(double seconds, std::optional<double> kills)
	{
		std::map<std::string, double> v;
		if (kills)
			v["kills"] = *kills;
		check.observe(uint64_t(seconds * 1e9), v);
	}
	std::vector<ExpectationCheck::Finding> of(ExpectationCheck::Finding::Kind k)
	{
		std::vector<ExpectationCheck::Finding> out;
		for (const auto &f : check.findings())
			if (f.kind == k)
				out.push_back(f);
		return out;
	}
};

TEST_F(Check, ValuesThatFollowTheScreenMatch)
{
	hold(0.4, 1);
	hold(10.4, 1); // the old value, shown until 0.4 s ago
	hold(10.8, 2);
	hold(21.0, 3);
	check.finish(30 * kSec);
	EXPECT_EQ(check.count(ExpectationCheck::Finding::Matched), 3);
	EXPECT_EQ(check.count(ExpectationCheck::Finding::Missed), 0);
	EXPECT_EQ(check.count(ExpectationCheck::Finding::Wrong), 0);
}

TEST_F(Check, AValueTheScreenNeverShowedIsWrong)
{
	hold(0.4, 1);
	hold(10.4, 7);
	hold(11.0, 2);
	check.finish(30 * kSec);
	const auto wrong = of(ExpectationCheck::Finding::Wrong);
	ASSERT_EQ(wrong.size(), 1u);
	EXPECT_EQ(wrong[0].got, 7);
	EXPECT_EQ(wrong[0].expected, 2);
	EXPECT_EQ(wrong[0].line, 2);
	EXPECT_EQ(wrong[0].atNs, 10'400'000'000ULL);
	const auto missed = of(ExpectationCheck::Finding::Missed);
	ASSERT_EQ(missed.size(), 1u) << "3 was never held";
	EXPECT_EQ(missed[0].line, 3);
}

TEST_F(Check, TheOldValueLongAfterTheChangeIsWrongButNoValueIsOnlyAMiss)
{
	hold(0.4, 1);
	hold(10.4, std::nullopt); // nothing confirmed: a miss at worst
	hold(13.0, 1);            // 1 went off screen 3 s ago
	check.finish(30 * kSec);
	EXPECT_EQ(check.count(ExpectationCheck::Finding::Wrong), 1);
	EXPECT_EQ(check.count(ExpectationCheck::Finding::Missed), 2);
}

TEST(Expectations, UncheckedStretchesAndFramesResolveAsWritten)
{
	// "#N" starts at what the source says; "-" lets any value through.
	ExpectationCheck check(
		parseExpectations("0 plates=3\n#4 plates=-\n#6 plates=1\n").entries,
		[](int64_t n) { return uint64_t(n) * 2 * kSec; }, 500 * kMs);
	auto hold = [&](double s, double v) { check.observe(uint64_t(s * 1e9), {{"plates", v}}); };
	hold(1, 3);
	hold(9, 0.5);  // frames 4 and 5: 8 s to 12 s, not checked
	hold(12.2, 1); // frame 6 from 12 s
	hold(13, 2.5);
	check.finish(20 * kSec);
	ASSERT_EQ(check.count(ExpectationCheck::Finding::Wrong), 1);
	EXPECT_EQ(check.findings()[0].got, 2.5);
	EXPECT_EQ(check.count(ExpectationCheck::Finding::Matched), 2);
}

} // namespace
