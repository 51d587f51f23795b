#pragma once

#include <cstdint>

namespace ostrelo {

// Turns the flickering per-frame readings of one stat into a confirmed value: a new value
// must be read the same several times in a row and be a plausible successor of the last.
struct StatTracker {
	bool valid = false;
	int32_t value = 0;     // confirmed value (plates: tenths of a plate)
	int32_t candidate = 0; // reading being confirmed
	int32_t count = 0;     // times in a row the candidate was read; 0 = none

	void clear() { *this = StatTracker{}; }

	// True exactly when this call confirmed a new value.
	bool update(bool ok, int32_t reading, bool noDecrease, bool noIncrease, int32_t confirmations,
		    bool substringCheck, int32_t maxJump);

	bool operator==(const StatTracker &o) const
	{
		return valid == o.valid && value == o.value && candidate == o.candidate && count == o.count;
	}
};

// The arguments frame processing passes for one stat.
struct TrackerRules {
	bool noDecrease;
	bool noIncrease;
	int32_t confirmations;
	bool substringCheck;
	int32_t maxJump;
};

// Rules of the stat with this index (0..6), and of the two end-card trackers.
const TrackerRules &trackerRules(int statIndex);
const TrackerRules &endCardTrackerRules();

inline bool updateTracker(StatTracker &t, const TrackerRules &r, bool ok, int32_t reading)
{
	return t.update(ok, reading, r.noDecrease, r.noIncrease, r.confirmations, r.substringCheck, r.maxJump);
}

} // namespace ostrelo
