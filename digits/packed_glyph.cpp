#include "digits/packed_glyph.h"

#include "digits/glyph_templates.h"
#include "digits/image_prep.h"

namespace ostrelo {
namespace {

constexpr uint16_t kRowMask = (1u << kGridW) - 1;

// Bit counting without relying on a popcount instruction (the plug-in targets plain x86-64).
int32_t popcount64(uint64_t v)
{
	v = v - ((v >> 1) & 0x5555555555555555ull);
	v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
	v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
	return int32_t((v * 0x0101010101010101ull) >> 56);
}

} // namespace

PackedGlyph packRows(const std::array<uint16_t, 22> &rows)
{
	PackedGlyph g;
	for (int32_t y = 0; y < kGridH; ++y) {
		const uint64_t row = rows[size_t(y)] & kRowMask;
		g.rows[size_t(y)] = uint16_t(row);
		const int32_t pos = y * kGridW;
		const int32_t word = pos / 64;
		const int32_t shift = pos % 64;
		g.bits[size_t(word)] |= row << shift;
		if (shift + kGridW > 64)
			g.bits[size_t(word) + 1] |= row >> (64 - shift);
	}
	for (uint64_t w : g.bits)
		g.ink += popcount64(w);
	return g;
}

PackedGlyph packGlyph(const GrayImage &grid)
{
	std::array<uint16_t, 22> rows{};
	for (int32_t y = 0; y < kGridH && y < grid.height; ++y)
		for (int32_t x = 0; x < kGridW && x < grid.width; ++x)
			if (isInk(grid.at(x, y)))
				rows[size_t(y)] |= uint16_t(1u << x);
	return packRows(rows);
}

PackedGlyph dilatePacked(const PackedGlyph &g)
{
	std::array<uint16_t, 22> rows{};
	for (int32_t y = 0; y < kGridH; ++y) {
		uint32_t m = g.rows[size_t(y)];
		if (y > 0)
			m |= g.rows[size_t(y - 1)];
		if (y + 1 < kGridH)
			m |= g.rows[size_t(y + 1)];
		rows[size_t(y)] = uint16_t((m | (m << 1) | (m >> 1)) & kRowMask);
	}
	return packRows(rows);
}

float matchPacked(const PackedGlyph &a, const PackedGlyph &b)
{
	int32_t differ = 0;
	for (size_t i = 0; i < a.bits.size(); ++i)
		differ += popcount64(a.bits[i] ^ b.bits[i]);
	return scoreFromCounts(kGridCells - differ, a.ink, b.ink);
}

} // namespace ostrelo
