#include "tools/replay/capture_cadence.h"

#include <cmath>

namespace ostrelo::replay {

CaptureCadence::Step CaptureCadence::onRender(int64_t frame, uint64_t nowNs)
{
	Step step;
	const uint64_t previous = lastConsumeNs_;
	if (pending_) {
		step.processed = pending_;
		pending_.reset();
		lastConsumeNs_ = nowNs;
	}
	if (nowNs - previous >= kSpacingNs) {
		step.stage = true;
		pending_ = frame;
	}
	return step;
}

uint64_t renderFrameNs(int64_t k, double fps)
{
	return uint64_t(std::llround(double(k) * 1e9 / fps));
}

} // namespace ostrelo::replay
