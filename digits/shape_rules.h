#pragma once

#include "common/gray_image.h"

#include <array>
#include <cstdint>

namespace ostrelo {

// Enclosed background regions (4-connected, not reachable from the border).
int32_t countHoles(const GrayImage &image);

// Mean row of all hole pixels as a fraction of the height (0 top, 1 bottom), -1 without holes.
float holeCenter(const GrayImage &image);

// Share of ink in rows y0f..y1f and columns x0f..x1f, given as fractions of the image's height
// and width; at least one row and one column are measured.
float inkFraction(const GrayImage &image, float y0f, float y1f, float x0f, float x1f);

// Which of two easily confused digits the glyph's shape supports; kNoDigit when it cannot tell.
constexpr int32_t kNoDigit = -1;
int32_t resolvePair(const GrayImage &grid, int32_t a, int32_t b);

// Moves `best` between confusable digits by the shape rules and, when the shape confirms the
// winner, caps every other score about 0.1 below it.
void refineScores(const GrayImage &grid, int32_t &best, std::array<float, 10> &scores);

// Whether the image holds a single glyph shaped like a 4 with an open top.
bool isOpenFour(const GrayImage &bilevel);

} // namespace ostrelo
