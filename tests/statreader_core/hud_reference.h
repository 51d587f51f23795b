#pragma once

// The HUD classifier's measures and template scores written the plain way: every pixel of
// every box, the whole reduced image, every search position scored from scratch. Slow, and
// easy to check against the rules by reading. The classifier may compute the same numbers
// any faster way it likes; these tests hold it to the same bits.

#include "statreader/hud_classifier_internal.h"

#include <array>
#include <cstdint>

namespace ostrelo::test {

// Answers like hud::HudEvidence, so hud::decideHudState takes it too.
struct ReferenceEvidence {
	bool detail = false;
	bool strip = false;
	int32_t warmth = 0;
	int32_t bright = 0;
	bool standsOut = false;                        // written once, plainly, in the classifier itself
	std::array<float, kHudTemplateCount> scores{}; // -1 for a template not matched while the HUD is present

	bool topLeftDetail() const { return detail; }
	bool counterStrip() const { return strip; }
	bool hudPresent() const { return detail && strip; }
	int32_t barWarmth() const { return warmth; }
	int32_t centreBright() const { return bright; }
	bool cardStandsOut() const { return standsOut; }
	float score(HudTemplateId id) const { return scores[size_t(id)]; }
};

// The frame must be usable().
ReferenceEvidence referenceEvidence(const hud::FrameView &frame);

} // namespace ostrelo::test
