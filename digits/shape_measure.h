#pragma once

// Hole count and hole centre of one glyph grid, measured once and shared by the pair rules and
// the confirmation step (the public functions measure them again on every call).

#include "common/gray_image.h"

#include <array>
#include <cstdint>

namespace ostrelo {

struct GlyphShape {
	int32_t holes = 0;
	float center = -1.f;
};

GlyphShape measureShape(const GrayImage &grid);
// The same by pixel-wise flood fills, for images of any size (measureShape uses row masks on
// 14 x 22 grids).
GlyphShape measureShapePlain(const GrayImage &image);
int32_t resolvePair(const GrayImage &grid, int32_t a, int32_t b, const GlyphShape &shape);
void refineScores(const GrayImage &grid, int32_t &best, std::array<float, 10> &scores, const GlyphShape &shape);

} // namespace ostrelo
