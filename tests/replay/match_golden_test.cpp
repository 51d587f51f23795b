// Whole scripted matches replayed as `ostrelo-replay run --expect` replays them: every face,
// ground and size of the scripted matches. A match fails when it confirms a value the
// footage never showed, when it matches fewer shown values than measured, or when the HUD
// classifier takes a frame of the match for an end card (or an end card for anything else).

#include "tools/replay/match_replay.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

using namespace ostrelo::replay;

namespace {

// Fonts need a QGuiApplication; offscreen, no display.
class QtApp : public ::testing::Environment {
public:
	void SetUp() override
	{
		qputenv("QT_QPA_PLATFORM", "offscreen");
		static int argc = 1;
		static char name[] = "replay_match_golden_test";
		static char *argv[] = {name, nullptr};
		app_ = std::make_unique<QGuiApplication>(argc, argv);
	}
	void TearDown() override { app_.reset(); }

private:
	std::unique_ptr<QGuiApplication> app_;
};
const auto *const kApp = ::testing::AddGlobalTestEnvironment(new QtApp);

// Shown values each match must match at least (measured with the readers of this build, less
// 2) and wrong values it may confirm at most. Raise and lower them as the readers improve: the
// aim is 90% of the shown values in every match and no wrong value in any.
struct Bound {
	const char *match;
	int minMatched;
	int maxWrong;
};
const Bound kBounds[] = {
#include "match_golden_bounds.inc"
};

TEST(MatchGolden, EveryScriptedMatchWithinItsBounds)
{
	MatchReport total;
	for (const Bound &b : kBounds) {
		SCOPED_TRACE(b.match);
		const std::vector<MatchStep> steps = matchScript(b.match);
		ASSERT_FALSE(steps.empty())
			<< "missing face " << matchFaceFile(b.match).toStdString() << " (scripts/setup.sh installs it)";
		const MatchReport r = replayMatch(b.match, steps);
		std::fputs(formatReport(r).c_str(), stdout);
		EXPECT_GE(r.matched, b.minMatched) << "fewer shown values matched than measured";
		EXPECT_LE(r.wrong, b.maxWrong) << "a confirmed value the footage never showed";
		EXPECT_EQ(r.matchFramesAsCard, 0) << "a frame of the match taken for an end card";
		EXPECT_EQ(r.cardFramesAsCard, r.cardFrames) << "the placement card not taken for one";
		EXPECT_GT(r.cardFrames, 0);
		EXPECT_EQ(r.finalFromOtherFrame, 0) << "a final result from a frame without an end card";
		total.matched += r.matched;
		total.missed += r.missed;
		total.wrong += r.wrong;
		total.gatedFrames += r.gatedFrames;
		total.matchFrames += r.matchFrames;
		total.gatedFramesWithRightPlates += r.gatedFramesWithRightPlates;
		for (const auto &[key, reads] : r.reads) {
			total.reads[key].right += reads.right;
			total.reads[key].blocked += reads.blocked;
		}
	}
	std::printf("all matches: %d matched, %d missed, %d wrong (%.1f%% of shown values matched)\n", total.matched,
		    total.missed, total.wrong,
		    total.matched + total.missed ? 100.0 * total.matched / (total.matched + total.missed) : 0.0);
	std::printf("gate: dropped %d of %d in-match frames, %d of them with the plates read right\n",
		    total.gatedFrames, total.matchFrames, total.gatedFramesWithRightPlates);
	for (const auto &[key, reads] : total.reads)
		std::printf("gate: %s: %d of %d right readings dropped\n", key.c_str(), reads.blocked, reads.right);

	// Every scripted match has a bound: one added without would go unchecked.
	for (const QString &name : matchNames()) {
		bool bounded = name == "basic"; // the short match of the CLI test
		for (const Bound &b : kBounds)
			bounded = bounded || name == b.match;
		EXPECT_TRUE(bounded) << name.toStdString() << " has no bound";
	}
}

} // namespace
