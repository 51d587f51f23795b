#include "statreader/stat_table.h"
#include "statreader/stat_tracker.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

using namespace ostrelo;

namespace {

constexpr int32_t kFail = INT32_MIN;    // a frame without a usable reading
constexpr int32_t kNoValue = INT32_MIN; // the tracker has no confirmed value

// One call: the reading, whether the call confirms, and the confirmed value afterwards.
struct Step {
	int32_t reading;
	bool confirms;
	int32_t valueAfter;
};

struct Sequence {
	const char *what;
	int stat;                     // index into the stat table, or -1 for the end-card trackers
	std::optional<int32_t> start; // a value confirmed before the sequence
	std::vector<Step> steps;
};

StatTracker confirmedAt(std::optional<int32_t> value)
{
	StatTracker t;
	if (value) {
		t.valid = true;
		t.value = *value;
	}
	return t;
}

void run(const Sequence &s)
{
	const TrackerRules &rules = s.stat < 0 ? endCardTrackerRules() : trackerRules(s.stat);
	StatTracker t = confirmedAt(s.start);
	for (size_t i = 0; i < s.steps.size(); ++i) {
		const Step &step = s.steps[i];
		const bool ok = step.reading != kFail;
		const bool confirmed = updateTracker(t, rules, ok, ok ? step.reading : 0);
		const std::string where = std::string(s.what) + ", call " + std::to_string(i + 1);
		EXPECT_EQ(confirmed, step.confirms) << where;
		if (step.valueAfter == kNoValue) {
			EXPECT_FALSE(t.valid) << where;
		} else {
			EXPECT_TRUE(t.valid) << where;
			EXPECT_EQ(t.value, step.valueAfter) << where;
		}
	}
}

// Readings that never confirm anything from a confirmed value.
Sequence rejected(const char *what, int stat, int32_t start, int32_t reading, int calls = 5)
{
	return Sequence{what, stat, start, std::vector<Step>(size_t(calls), Step{reading, false, start})};
}

// A reading confirmed on the needed-th call in a row.
Sequence accepted(const char *what, int stat, int32_t start, int32_t reading, int needed)
{
	std::vector<Step> steps(size_t(needed - 1), Step{reading, false, start});
	steps.push_back(Step{reading, true, reading});
	return Sequence{what, stat, start, steps};
}

} // namespace

TEST(StatTracker, ConfirmationCounts)
{
	const Sequence cases[] = {
		{"kills from nothing: three in a row",
		 kStatKills,
		 std::nullopt,
		 {{5, false, kNoValue}, {5, false, kNoValue}, {5, true, 5}, {5, false, 5}}},
		accepted("kills: a rise needs three", kStatKills, 12, 13, 3),
		accepted("players left falling: two", kStatPlayersLeft, 80, 79, 2),
		accepted("teams left falling: two", kStatTeamsLeft, 20, 19, 2),
		accepted("players left rising to a new lobby: three", kStatPlayersLeft, 25, 150, 3),
		{"players left from nothing: three, not two",
		 kStatPlayersLeft,
		 std::nullopt,
		 {{150, false, kNoValue}, {150, false, kNoValue}, {150, true, 150}}},
		accepted("deaths falling: three (only players and teams left fall in two)", kStatDeaths, 5, 4, 3),
		accepted("plates: two", kStatPlates, 30, 25, 2),
		{"plates from nothing: two", kStatPlates, std::nullopt, {{30, false, kNoValue}, {30, true, 30}}},
		{"end card from nothing: two", -1, std::nullopt, {{7, false, kNoValue}, {7, true, 7}}},
		accepted("end card rising: two", -1, 12, 13, 2),
		{"a confirmed value then a new one",
		 kStatDeaths,
		 std::nullopt,
		 {{3, false, kNoValue},
		  {3, false, kNoValue},
		  {3, true, 3},
		  {4, false, 3},
		  {4, false, 3},
		  {4, true, 4}}},
	};
	for (const Sequence &s : cases)
		run(s);
}

TEST(StatTracker, CountsRestartOnFailedDifferentOrEqualReadings)
{
	const Sequence cases[] = {
		// A failed read starts the count again: three more equal readings are needed.
		{"kills, failed read between",
		 kStatKills,
		 12,
		 {{13, false, 12}, {kFail, false, 12}, {13, false, 12}, {13, false, 12}, {13, true, 13}}},
		{"kills, a different reading between",
		 kStatKills,
		 12,
		 {{13, false, 12}, {14, false, 12}, {13, false, 12}, {13, false, 12}, {13, true, 13}}},
		{"kills, the confirmed value between",
		 kStatKills,
		 12,
		 {{13, false, 12}, {13, false, 12}, {12, false, 12}, {13, false, 12}, {13, false, 12}, {13, true, 13}}},
		{"kills, a rejected reading between",
		 kStatKills,
		 12,
		 {{13, false, 12}, {13, false, 12}, {11, false, 12}, {13, false, 12}, {13, false, 12}, {13, true, 13}}},
		{"players left, the confirmed value between",
		 kStatPlayersLeft,
		 80,
		 {{79, false, 80}, {80, false, 80}, {79, false, 80}, {79, true, 79}}},
		{"players left, failed read between",
		 kStatPlayersLeft,
		 80,
		 {{79, false, 80}, {kFail, false, 80}, {79, false, 80}, {79, true, 79}}},
		{"plates, a different reading between",
		 kStatPlates,
		 30,
		 {{25, false, 30}, {20, false, 30}, {25, false, 30}, {25, true, 25}}},
		{"nothing confirmed, failed reads only",
		 kStatKills,
		 std::nullopt,
		 {{kFail, false, kNoValue}, {kFail, false, kNoValue}, {kFail, false, kNoValue}}},
		// The confirmed value read again never confirms anything.
		rejected("kills equal", kStatKills, 12, 12),
		rejected("players left equal", kStatPlayersLeft, 80, 80),
		rejected("plates equal", kStatPlates, 30, 30),
		rejected("end card equal", -1, 4, 4),
	};
	for (const Sequence &s : cases)
		run(s);
}

TEST(StatTracker, PlausibilityRules)
{
	const Sequence cases[] = {
		// Kills: never down, at most 3 up at a time, digits lost are not a new value.
		rejected("kills rise of 5", kStatKills, 12, 17),
		rejected("kills rise of 4", kStatKills, 12, 16),
		accepted("kills rise of 3", kStatKills, 12, 15, 3),
		rejected("kills down", kStatKills, 12, 11),
		rejected("kills 12 read as 2", kStatKills, 12, 2),
		rejected("kills 12 read as 1", kStatKills, 12, 1),
		accepted("kills back to zero", kStatKills, 12, 0, 3),
		accepted("kills from zero", kStatKills, 0, 1, 3),
		// Wins: never down, but no jump limit.
		rejected("wins down", kStatWins, 3, 2),
		accepted("wins jump", kStatWins, 3, 10, 3),
		accepted("wins back to zero", kStatWins, 3, 0, 3),
		// Players and teams left: never up, except from an almost finished match to a new lobby.
		rejected("players left up by one", kStatPlayersLeft, 80, 81),
		rejected("players left 80 read as 8", kStatPlayersLeft, 80, 8),
		rejected("players left from 31 to 150", kStatPlayersLeft, 31, 150),
		rejected("players left from 30 to 119", kStatPlayersLeft, 30, 119),
		accepted("players left from 30 to 120", kStatPlayersLeft, 30, 120, 3),
		accepted("players left to zero", kStatPlayersLeft, 80, 0, 2),
		accepted("teams left from 2 to 150", kStatTeamsLeft, 2, 150, 3),
		rejected("teams left 40 read as 4", kStatTeamsLeft, 40, 4),
		rejected("teams left up", kStatTeamsLeft, 40, 41),
		// Deaths and score: any direction, but no lost digits.
		rejected("deaths 128 read as 28", kStatDeaths, 128, 28),
		rejected("deaths 128 read as 12", kStatDeaths, 128, 12),
		rejected("deaths 128 read as 8", kStatDeaths, 128, 8),
		rejected("deaths 128 read as 1", kStatDeaths, 128, 1),
		accepted("deaths 128 read as 13 (not a substring)", kStatDeaths, 128, 13, 3),
		accepted("deaths 128 read as 18 (not contiguous)", kStatDeaths, 128, 18, 3),
		accepted("deaths 15 read as 51 (as long)", kStatDeaths, 15, 51, 3),
		accepted("deaths 5 read as 55 (longer)", kStatDeaths, 5, 55, 3),
		accepted("deaths 100 read as 0", kStatDeaths, 100, 0, 3),
		rejected("deaths 100 read as 10", kStatDeaths, 100, 10),
		rejected("score 1250 read as 125", kStatScore, 1250, 125),
		rejected("score 1250 read as 250", kStatScore, 1250, 250),
		accepted("score up", kStatScore, 1250, 1500, 3),
		// Plates: no lost-digit test, no direction.
		accepted("plates 30 read as 3", kStatPlates, 30, 3, 2),
		accepted("plates up", kStatPlates, 10, 30, 2),
		// End-card trackers: lost digits rejected, no direction, no jump limit.
		rejected("end card 12 read as 2", -1, 12, 2),
		accepted("end card down", -1, 12, 9, 2),
		accepted("end card jump", -1, 2, 150, 2),
		// Nothing confirmed yet: no plausibility test at all.
		{"kills from nothing, any value",
		 kStatKills,
		 std::nullopt,
		 {{500, false, kNoValue}, {500, false, kNoValue}, {500, true, 500}}},
	};
	for (const Sequence &s : cases)
		run(s);
}

TEST(StatTracker, ArgumentsAtTheirLimits)
{
	// Confirmations of 1 still need the reading twice: the first reading only becomes the
	// candidate.
	StatTracker t;
	EXPECT_FALSE(t.update(true, 7, false, false, 1, false, 0));
	EXPECT_TRUE(t.update(true, 7, false, false, 1, false, 0));
	EXPECT_EQ(t.value, 7);

	// Large confirmation counts are honoured.
	StatTracker five;
	for (int i = 0; i < 4; ++i)
		EXPECT_FALSE(five.update(true, 9, false, false, 5, false, 0)) << i;
	EXPECT_TRUE(five.update(true, 9, false, false, 5, false, 0));

	// A jump measured across the whole range must not overflow.
	StatTracker low = confirmedAt(INT32_MIN + 1);
	for (int i = 0; i < 5; ++i)
		EXPECT_FALSE(low.update(true, INT32_MAX, false, false, 0, false, 3)) << i;
	EXPECT_EQ(low.value, INT32_MIN + 1);

	// Negative maxJump means no limit; a negative value skips the lost-digit test.
	StatTracker neg = confirmedAt(-12);
	EXPECT_FALSE(neg.update(true, 2, false, false, 0, true, -1));
	EXPECT_FALSE(neg.update(true, 2, false, false, 0, true, -1));
	EXPECT_TRUE(neg.update(true, 2, false, false, 0, true, -1));
}

TEST(StatTracker, ClearAndCopy)
{
	StatTracker t;
	updateTracker(t, trackerRules(kStatKills), true, 4);
	updateTracker(t, trackerRules(kStatKills), true, 4);
	updateTracker(t, trackerRules(kStatKills), true, 4);
	updateTracker(t, trackerRules(kStatKills), true, 5);
	const StatTracker copy = t;
	EXPECT_EQ(copy, t);
	EXPECT_TRUE(t.valid);
	EXPECT_EQ(t.value, 4);
	EXPECT_EQ(t.candidate, 5);
	EXPECT_EQ(t.count, 1);
	t.clear();
	EXPECT_EQ(t, StatTracker{});
	EXPECT_FALSE(t.valid);
	EXPECT_EQ(t.value, 0);
	EXPECT_EQ(t.candidate, 0);
	EXPECT_EQ(t.count, 0);
	EXPECT_FALSE(copy == t);
}
