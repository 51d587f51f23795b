#pragma once

// The classifier's measures, for its tests, benchmark and the template tool. Not part of the
// filter's interface.

#include "common/gray_image.h"
#include "statreader/hud_classifier.h"
#include "statreader/hud_templates.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ostrelo::hud {

// A mapped RGBA frame; usable() is the classifier's guard.
struct FrameView {
	const uint8_t *data = nullptr;
	int32_t width = 0;
	int32_t height = 0;
	uint32_t lineSize = 0;

	bool usable() const;
	const uint8_t *row(int32_t y) const { return data + size_t(y) * lineSize; }
};

// Columns x0 <= x < x1, rows y0 <= y < y1 of the frame.
struct PixelBox {
	int32_t x0 = 0;
	int32_t y0 = 0;
	int32_t x1 = 0;
	int32_t y1 = 0;

	int32_t width() const { return x1 - x0; }
	int32_t height() const { return y1 - y0; }
	bool operator==(const PixelBox &o) const { return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1; }
};

// The fractional boxes of the measures.
struct FractionBox {
	float x, y, w, h;
};
inline constexpr FractionBox kTopLeftDetailBox{0.018f, 0.04f, 0.15f, 0.23f};
inline constexpr FractionBox kCounterStripBox{0.895f, 0.074f, 0.085f, 0.02f};
inline constexpr FractionBox kPlatesBarBox{0.036f, 0.888f, 0.115f, 0.037f};
inline constexpr FractionBox kCentreBox{0.12f, 0.4f, 0.55f, 0.2f};
// As wide as the centre box, above it, below the counters: where a plain screen shows nothing.
inline constexpr FractionBox kAboveCardBox{0.12f, 0.1f, 0.55f, 0.2f};

// Fractions to pixels, rounded in single precision and clamped to the frame.
PixelBox toPixelBox(const FractionBox &box, int32_t width, int32_t height);

inline int32_t luma(const uint8_t *p)
{
	return (77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8;
}

// Variance of luma over the top-left box (the minimap and team list) above 900.
bool topLeftDetail(const FrameView &frame);
// The three top-right counters: 2 to 4 groups of bright columns, a plausible share of ink.
bool counterStrip(const FrameView &frame);
// Largest run (at most 16 rows) of rows with warm pixels in the plates bar: the downed bar.
int32_t barWarmth(const FrameView &frame);
// Pixels of luma 200 or more in the middle of the frame.
int32_t centreBright(const FrameView &frame);
// Whether the bright pixels of the middle look like a card on a plain screen: they reach
// across at least half the centre box's columns (a lamp, a window or a patch of sky does
// not), and the box above holds fewer than a quarter as many (haze, snow or a flash
// brighten the whole world, not a card in its middle).
bool cardStandsOut(const FrameView &frame, int32_t centreBright);

// Reduction factor of the classifier image: height / 270, at least 1 (never 1 < d < 2).
int32_t classifierFactor(int32_t height);
// Luma of the frame reduced by block means to (width / d) x (height / d).
GrayImage classifierImage(const FrameView &frame, int32_t factor);
// Computes the pixels of a region of that image (clipped to it) in place.
void reduceInto(const FrameView &frame, int32_t factor, GrayImage &image, const PixelBox &region);

// A template scaled to the classifier image of a frame of this height.
struct ScaledTemplate {
	int32_t width = 0;
	int32_t height = 0;
	std::vector<uint8_t> pixels;
	int64_t sum = 0;    // S_t
	float energy = 0.f; // E_t = sum of t^2 - S_t^2 / N
};
ScaledTemplate scaleTemplate(const HudTemplateDef &def, const uint8_t *stored, int32_t frameHeight, int32_t factor);

// Normalised cross-correlation with the template's top-left corner at (x, y); -1 when it
// does not fit or either side is flat.
float correlationAt(const GrayImage &image, const ScaledTemplate &tpl, int32_t x, int32_t y);
// Where a template is searched: its expected corner (cx, cy) and radius r; the coarse walk
// over x = cx - r .. cx + r and y = cy - r/2 .. cy + r/2 in steps of 2, narrowed to the
// positions where the template fits; and the pixels the whole search may read.
struct SearchWindow {
	int32_t cx = 0, cy = 0, r = 0;
	int64_t xFirst = 0, xLast = -1, yFirst = 0, yLast = -1;
	PixelBox reads;
};
SearchWindow searchWindow(int32_t imageWidth, int32_t imageHeight, const ScaledTemplate &tpl,
			  const HudTemplateDef &def);
// Best correlation around the template's expected corner: a coarse search in steps of 2,
// then the nine positions around the best.
float templateScore(const GrayImage &image, const ScaledTemplate &tpl, const HudTemplateDef &def);

// What the decision looks at, measured on demand: the full-resolution measures, the
// classifier image and the template scores are each computed once, and only when a rule
// needs them. A template that is matched only without HUD scores -1 while the HUD is present.
class HudEvidence {
public:
	// The frame must be usable() and must outlive the evidence.
	explicit HudEvidence(const FrameView &frame);

	bool topLeftDetail() const { return topLeftDetail_; }
	bool counterStrip() const { return counterStrip_; }
	bool hudPresent() const { return topLeftDetail_ && counterStrip_; }
	int32_t barWarmth();
	int32_t centreBright();
	bool cardStandsOut();
	float score(HudTemplateId id);

private:
	FrameView frame_;
	bool topLeftDetail_;
	bool counterStrip_;
	std::optional<int32_t> barWarmth_;
	std::optional<int32_t> centreBright_;
	std::optional<bool> cardStandsOut_;
	std::array<std::optional<float>, kHudTemplateCount> scores_;
};

// The decision rules, first that holds, over HudEvidence or anything that answers like it.
template <class Evidence>
int32_t decideHudState(Evidence &e)
{
	if (e.score(kTemplateAfterAction1) > 0.7f || (!e.hudPresent() && e.score(kTemplateAfterAction2) > 0.7f))
		return kHudAfterAction;
	if (e.score(kTemplatePlacement) > 0.7f)
		return kHudPlacementCard;
	// A large bright card in the middle of an otherwise plain screen.
	if (!e.topLeftDetail() && !e.counterStrip() && e.centreBright() > 6000 &&
	    e.score(kTemplateAfterAction1) < 0.35f && e.score(kTemplateMenu) < 0.35f && e.cardStandsOut())
		return kHudPlacementCard;
	if (e.score(kTemplateSpectating1) > 0.7f || e.score(kTemplateSpectating2) > 0.7f)
		return kHudSpectating;
	if (!e.counterStrip())
		return e.score(kTemplateMenu) > 0.45f ? kHudMenu : kHudUnknown;
	if (e.topLeftDetail())
		return e.barWarmth() >= 80 ? kHudDowned : kHudInMatch;
	return kHudUnknown;
}

} // namespace ostrelo::hud
