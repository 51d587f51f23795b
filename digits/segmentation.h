#pragma once

#include "common/gray_image.h"

#include <cstdint>
#include <vector>

namespace ostrelo {

// A glyph's bounding box in pixel coordinates: x0, y0 inclusive, x1, y1 exclusive.
struct GlyphBox {
	int32_t x0 = 0;
	int32_t y0 = 0;
	int32_t x1 = 0;
	int32_t y1 = 0;

	// Differences in 64 bits, so that no box, however odd, overflows while being measured.
	int32_t bw() const { return int32_t(int64_t(x1) - x0); }
	int32_t bh() const { return int32_t(int64_t(y1) - y0); }
	bool operator==(const GlyphBox &o) const { return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1; }
	bool operator!=(const GlyphBox &o) const { return !(*this == o); }
};

using GlyphBoxes = std::vector<GlyphBox>;

// Boxes of the 8-connected ink components large enough to be glyphs, sorted by x0.
GlyphBoxes findComponents(const GrayImage &bilevel);

// Cuts boxes of touching digits at the valleys of their column ink profile.
GlyphBoxes splitWideBoxes(const GrayImage &bilevel, const GlyphBoxes &boxes);

// Joins neighbouring boxes that are pieces of one tall glyph.
GlyphBoxes mergeBoxPieces(const GlyphBoxes &boxes);

// Drops small marks in the upper part of a crop of height imageHeight and keeps the lowest line of
// text, sorted by x0.
GlyphBoxes selectTextLine(const GlyphBoxes &boxes, int32_t imageHeight);

// One line of glyph boxes, left to right.
GlyphBoxes segmentGlyphs(const GrayImage &bilevel);

// Whether the boxes look like one printed number: similar heights, no large overlaps or gaps.
bool isConsistentRow(const GlyphBoxes &boxes);

} // namespace ostrelo
