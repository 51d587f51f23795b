#pragma once

#include <cstdint>
#include <optional>

namespace ostrelo::replay {

// The filter's capture rhythm without a GPU. A frame is staged on one render call and
// processed on the next; staging waits 200 ms after the last consume, measured from before
// that call's consume. So frames are processed in pairs of consecutive render frames, about
// 200 ms apart, exactly as the filter does it on the graphics thread.
class CaptureCadence {
public:
	static constexpr uint64_t kSpacingNs = 200'000'000ULL;

	struct Step {
		std::optional<int64_t> processed; // the render frame staged earlier and read now
		bool stage = false;               // this call stages its own frame
	};

	// One render call at nowNs showing render frame `frame`.
	Step onRender(int64_t frame, uint64_t nowNs);

private:
	uint64_t lastConsumeNs_ = 0;
	std::optional<int64_t> pending_;
};

// Footage time of render frame k at fps frames a second.
uint64_t renderFrameNs(int64_t k, double fps);

} // namespace ostrelo::replay
