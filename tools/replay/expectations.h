#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrelo::replay {

// What the footage shows, written by hand or by the generator:
//
//   # when        values on screen from then on
//   0             game_no=1
//   2.5           kills=0 players_left=150 teams_left=50 plates=3
//   #120          kills=1              (from input frame 120 on)
//   31            placement=-          (not checked from here on)
//
// A time is seconds of footage ("12.5", "12.5s") or "#N", the N-th input frame (an image of
// a folder, a decoded frame of a video), counted from 0. Keys are the stat keys,
// "placement" (the end card's final result) and "game_no".
struct ExpectEntry {
	int line = 0;
	bool isFrame = false;
	double seconds = 0; // when !isFrame
	int64_t frame = 0;  // when isFrame
	std::string key;
	std::optional<double> value; // nullopt: not checked from here on
};

struct ExpectFile {
	std::vector<ExpectEntry> entries;
	std::string error; // "line N: ..." when the text does not parse
};

ExpectFile parseExpectations(std::string_view text);

// Compares the values a replay confirms with what the footage shows.
//
// A confirmed value is wrong when it is none of the values the footage showed for that key
// during the last `latency` (confirmation takes a few frames, so the value shown just before
// a change is still right for a moment). A shown value is matched when the replay holds it
// at some point between its start and its end plus `latency`, and missed otherwise.
class ExpectationCheck {
public:
	// frameStartNs turns "#N" into footage time.
	ExpectationCheck(const std::vector<ExpectEntry> &entries, const std::function<uint64_t(int64_t)> &frameStartNs,
			 uint64_t latencyNs);

	// The values the replay holds after the frame processed at atNs; a key that is absent
	// holds nothing. Call in time order.
	void observe(uint64_t atNs, const std::map<std::string, double> &values);
	// The footage ended at endNs: closes the last shown values.
	void finish(uint64_t endNs);

	struct Finding {
		enum Kind { Matched, Missed, Wrong } kind;
		std::string key;
		int line = 0;        // expectation line
		uint64_t atNs = 0;   // Wrong: when it was confirmed; else the shown value's start
		uint64_t endNs = 0;  // Matched, Missed: the shown value's end
		double expected = 0; // Wrong: the value shown at atNs (when one was)
		bool hasExpected = false;
		double got = 0; // Wrong: the confirmed value
	};

	const std::vector<Finding> &findings() const { return findings_; }
	int count(Finding::Kind kind) const;

private:
	struct Span {
		uint64_t startNs;
		uint64_t endNs; // UINT64_MAX until the next span or finish()
		std::optional<double> value;
		int line;
		bool matched = false;
	};
	struct KeyTrack {
		std::vector<Span> spans;
		std::optional<double> held;
		bool seen = false;
	};

	void checkChange(const std::string &key, KeyTrack &k, uint64_t atNs);
	void markHeld(KeyTrack &k, uint64_t atNs);

	std::map<std::string, KeyTrack> keys_;
	std::vector<Finding> findings_;
	uint64_t latencyNs_;
	bool finished_ = false;
};

} // namespace ostrelo::replay
