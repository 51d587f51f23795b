#include "statreader/stat_tracker.h"

#include "statreader/stat_table.h"

#include <array>
#include <string>

namespace ostrelo {

namespace {

// A misread that drops a digit ("128" read as "28", "12" or "8") must not replace the value.
bool looksLikeDigitLoss(int32_t reading, int32_t value)
{
	const std::string r = std::to_string(reading);
	const std::string v = std::to_string(value);
	return r.size() < v.size() && v.find(r) != std::string::npos;
}

} // namespace

bool StatTracker::update(bool ok, int32_t reading, bool noDecrease, bool noIncrease, int32_t confirmations,
			 bool substringCheck, int32_t maxJump)
{
	auto reject = [this] {
		count = 0;
		return false;
	};

	if (!ok)
		return reject();
	if (substringCheck && valid && reading > 0 && value > 0 && reading != value &&
	    looksLikeDigitLoss(reading, value))
		return reject();
	// A reading of exactly 0 passes, so a counter that restarts can still be confirmed.
	if (noDecrease && valid && reading != 0 && reading < value)
		return reject();
	if (maxJump > 0 && valid && reading > value && int64_t(reading) - value > maxJump)
		return reject();
	if (noIncrease && valid) {
		if (reading == value)
			return reject();
		// The only rise: an almost finished match followed by a new full lobby.
		if (reading > value && !(value <= 30 && reading >= 120))
			return reject();
	} else if (valid && reading == value) {
		return reject();
	}

	int32_t needed = confirmations;
	if (needed < 1)
		needed = (noIncrease && valid && reading < value) ? 2 : 3;

	if (count > 0 && reading == candidate) {
		++count;
		if (count >= needed) {
			value = reading;
			valid = true;
			count = 0;
			return true;
		}
		return false;
	}
	candidate = reading;
	count = 1;
	return false;
}

const TrackerRules &trackerRules(int statIndex)
{
	static const std::array<TrackerRules, kStatCount> rules = {{
		{true, false, 0, true, 3},   // kills
		{false, false, 0, true, 0},  // deaths
		{false, false, 0, true, 0},  // score
		{false, true, 0, true, 0},   // players_left
		{false, true, 0, true, 0},   // teams_left
		{true, false, 0, true, 0},   // wins
		{false, false, 2, false, 0}, // plates, in tenths
	}};
	return rules[size_t(statIndex)];
}

const TrackerRules &endCardTrackerRules()
{
	static const TrackerRules rules{false, false, 2, true, 0};
	return rules;
}

} // namespace ostrelo
