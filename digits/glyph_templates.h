#pragma once

#include "common/gray_image.h"
#include "digits/segmentation.h"

#include <array>
#include <cstdint>

namespace ostrelo {

// Every glyph is compared on a grid 14 pixels wide and 22 high, pixels 0 or 255.
constexpr int32_t kGridW = 14;
constexpr int32_t kGridH = 22;
constexpr int32_t kGridCells = kGridW * kGridH;

// The built-in 7 x 11 digit font: eleven row bytes per digit, column c set when bit (64 >> c) is.
extern const std::array<std::array<uint8_t, 11>, 10> digitFont;

// HUD digit shapes the font does not match well, drawn directly on the grid: column c of a row is
// ink when bit (0x2000 >> c) of its mask is set.
struct AltGlyph {
	int32_t digit;
	std::array<uint16_t, kGridH> rows;
};
extern const std::array<AltGlyph, 9> altGlyphs;

// Font digit d drawn at double size; an all-background grid for d outside 0..9.
GrayImage renderFontDigit(int32_t d);
// Alternative shape i (index into altGlyphs) drawn as a grid; all background for a bad index.
GrayImage renderAltGlyph(int32_t i);

// Nearest-neighbour sample of the box onto the grid, anchored at the box's top-left corner.
GrayImage normalizeGlyph(const GrayImage &bilevel, const GlyphBox &box);

// Every background pixel next to ink (8 neighbours) becomes ink.
GrayImage dilateImage(const GrayImage &image);

// 0.3 x (ink-count ratio) + 0.7 x (share of agreeing cells), 1.0 for identical grids with ink.
float matchScore(const GrayImage &a, const GrayImage &b);

float fontScore(const GrayImage &grid, int32_t d);
float altScore(const GrayImage &grid, int32_t d);
float digitScore(const GrayImage &grid, int32_t d);

// The same scores for all ten digits at once. The reader scores every glyph against every digit,
// so the grid is packed into bits and dilated once.
std::array<float, 10> digitScores(const GrayImage &grid);

} // namespace ostrelo
