#pragma once

// Glyph grids packed into bits, so that comparing two grids costs a few XORs and popcounts.
// Internal to the digit reader; the plain GrayImage functions define what these compute.

#include "common/gray_image.h"

#include <array>
#include <cstdint>

namespace ostrelo {

struct PackedGlyph {
	std::array<uint16_t, 22> rows{}; // bit x = column x of a 14-wide grid row
	std::array<uint64_t, 5> bits{};  // cell y * 14 + x, for counting
	int32_t ink = 0;
};

// The score of two grids from their counts; matchScore and matchPacked share it so that both
// give the same float to the last bit.
float scoreFromCounts(int32_t agree, int32_t inkA, int32_t inkB);

// A 14 x 22 grid packed (ink = top bit set).
PackedGlyph packGlyph(const GrayImage &grid);
PackedGlyph packRows(const std::array<uint16_t, 22> &rows);
// dilateImage on the packed grid.
PackedGlyph dilatePacked(const PackedGlyph &g);
// matchScore on packed grids.
float matchPacked(const PackedGlyph &a, const PackedGlyph &b);

} // namespace ostrelo
