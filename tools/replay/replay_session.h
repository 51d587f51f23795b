#pragma once

#include "statreader/frame_processing.h"
#include "tools/replay/capture_cadence.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrelo::replay {

// A value the replay follows: a confirmed stat (plates in plates), the game number, or the
// placement of the final result.
using Observed = std::map<std::string, double>;

struct ValueChange {
	std::string key;
	std::optional<double> before;
	std::optional<double> after;
};

// What one processed frame did.
struct ProcessedFrame {
	int64_t frame = 0; // render frame whose pixels were processed
	uint64_t atNs = 0; // footage time of the render call that processed it
	int32_t hudBefore = 0;
	int32_t hudAfter = 0;
	std::vector<ValueChange> changes;
	FrameEffects effects;
};

// The filter's capture and processing over frames handed in one render call at a time, on
// a simulated clock. No OBS, no GPU: the staged frame is a copy kept until the next call.
class ReplaySession {
public:
	ReplaySession(StatReaderState initial, std::unique_ptr<StatReaders> readers);

	// One render call at footage time atNs (0 = the first frame). Returns what processing
	// did when this call read a staged frame.
	std::optional<ProcessedFrame> render(const FrameView &frame, int64_t frameIndex, uint64_t atNs);

	// A game number the service answered, handed to the next processed frame as the filter does.
	void setSiteGameNumber(int32_t siteGameNo) { pendingSiteGameNo_ = siteGameNo; }

	const StatReaderState &state() const { return state_; }
	Observed observed() const;
	int64_t processedCount() const { return processedCount_; }

	// Footage time 0 on the monotonic clock processing sees. The filter's clock is uptime,
	// never near 0; "0" means "never" to several of its timers.
	static constexpr uint64_t kClockBaseNs = 1000'000'000'000ULL;

private:
	StatReaderState state_;
	std::unique_ptr<StatReaders> readers_;
	CaptureCadence cadence_;
	std::vector<uint8_t> staged_;
	int32_t stagedWidth_ = 0;
	int32_t stagedHeight_ = 0;
	int32_t pendingSiteGameNo_ = 0;
	int64_t processedCount_ = 0;
};

// The keys a replay follows, in print order.
const std::vector<std::string> &observedKeys();

} // namespace ostrelo::replay
