#include "digits/glyph_templates.h"

#include "digits/image_prep.h"
#include "digits/packed_glyph.h"

#include <algorithm>
#include <array>

namespace ostrelo {

const std::array<std::array<uint8_t, 11>, 10> digitFont = {{
	{0x1C, 0x22, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x22, 0x1C},
	{0x08, 0x18, 0x28, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x3E},
	{0x1C, 0x22, 0x41, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x7F},
	{0x1C, 0x22, 0x41, 0x01, 0x01, 0x0E, 0x01, 0x01, 0x41, 0x22, 0x1C},
	{0x02, 0x06, 0x0A, 0x12, 0x22, 0x42, 0x7F, 0x02, 0x02, 0x02, 0x02},
	{0x7F, 0x40, 0x40, 0x40, 0x7E, 0x02, 0x01, 0x01, 0x41, 0x22, 0x1C},
	{0x1C, 0x22, 0x40, 0x40, 0x5C, 0x62, 0x41, 0x41, 0x41, 0x22, 0x1C},
	{0x7F, 0x01, 0x02, 0x02, 0x04, 0x04, 0x08, 0x08, 0x10, 0x10, 0x10},
	{0x1C, 0x22, 0x41, 0x41, 0x22, 0x1C, 0x22, 0x41, 0x41, 0x22, 0x1C},
	{0x1C, 0x22, 0x41, 0x41, 0x41, 0x23, 0x1D, 0x01, 0x01, 0x22, 0x1C},
}};

// clang-format off
const std::array<AltGlyph, 9> altGlyphs = {{
	{1, {0x0003, 0x0003, 0x3FFF, 0x3FFF, 0x3F03, 0x3F03, 0x0003, 0x0003, 0x0003, 0x0003, 0x0003,
	     0x0003, 0x0003, 0x0003, 0x0003, 0x0003, 0x0003, 0x0003, 0x0003, 0x0003, 0x0003, 0x0003}},
	{1, {0x001F, 0x001F, 0x07FF, 0x07FF, 0x3FFF, 0x3FFF, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F,
	     0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F}},
	{1, {0x001F, 0x001F, 0x3FFF, 0x3FFF, 0x3F1F, 0x3F1F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F,
	     0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F, 0x001F}},
	{2, {0x0FFC, 0x0FFC, 0x3F0F, 0x3F0F, 0x300F, 0x300F, 0x300F, 0x000F, 0x000F, 0x000F, 0x0030,
	     0x00C0, 0x00C0, 0x0F00, 0x0F00, 0x0C00, 0x3C00, 0x3C00, 0x3000, 0x3FFF, 0x3FFF, 0x0F00}},
	{3, {0x0FFC, 0x0FFC, 0x3C0C, 0x3C0C, 0x300F, 0x000F, 0x000F, 0x000F, 0x000F, 0x000F, 0x00F0,
	     0x000C, 0x000C, 0x000F, 0x000F, 0x000F, 0x300F, 0x300F, 0x300F, 0x0FFC, 0x0FFC, 0x03F0}},
	{3, {0x0FFC, 0x0FFC, 0x3C0C, 0x3C0C, 0x3C0F, 0x3C0F, 0x000F, 0x000C, 0x000C, 0x03F0, 0x03F0,
	     0x03FC, 0x000C, 0x000C, 0x000F, 0x000F, 0x300F, 0x300F, 0x300F, 0x3C3C, 0x3C3C, 0x0FFC}},
	{7, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x000F, 0x000F, 0x000F, 0x000C, 0x003C, 0x003C, 0x0030,
	     0x0030, 0x0030, 0x00F0, 0x00F0, 0x00F0, 0x03C0, 0x03C0, 0x03C0, 0x0300, 0x0300, 0x0C00}},
	{9, {0x03FC, 0x03FC, 0x0C0F, 0x0C0F, 0x300F, 0x300F, 0x300F, 0x300F, 0x300F, 0x300F, 0x300F,
	     0x0F0F, 0x0F0F, 0x000F, 0x000F, 0x000F, 0x3003, 0x3003, 0x300F, 0x0FFC, 0x0FFC, 0x00F0}},
	{9, {0x03FC, 0x03FC, 0x0FFF, 0x0FFF, 0x3C03, 0x3C03, 0x3C03, 0x3C03, 0x3C03, 0x3C03, 0x3C03,
	     0x3FC3, 0x3FC3, 0x03C3, 0x03C3, 0x0003, 0x0003, 0x0003, 0x3C03, 0x0FFC, 0x0FFC, 0x03F0}},
}};
// clang-format on

namespace {

bool inkAt(const GrayImage &image, int32_t x, int32_t y)
{
	return x >= 0 && y >= 0 && x < image.width && y < image.height && isInk(image.at(x, y));
}

bool isGrid(const GrayImage &image)
{
	return image.width == kGridW && image.height == kGridH && image.wellFormed();
}

struct Templates {
	std::array<PackedGlyph, 10> font;        // F[d]
	std::array<PackedGlyph, 10> fontDilated; // D[d]
	std::array<PackedGlyph, 9> alt;
};

// Built once, on first use from whichever thread reads first; read-only afterwards.
const Templates &templates()
{
	static const Templates t = [] {
		Templates built;
		for (int32_t d = 0; d < 10; ++d) {
			built.font[size_t(d)] = packGlyph(renderFontDigit(d));
			built.fontDilated[size_t(d)] = dilatePacked(built.font[size_t(d)]);
		}
		for (size_t i = 0; i < altGlyphs.size(); ++i)
			built.alt[i] = packGlyph(renderAltGlyph(int32_t(i)));
		return built;
	}();
	return t;
}

float fontScorePacked(const PackedGlyph &g, const PackedGlyph &gDilated, int32_t d)
{
	const Templates &t = templates();
	const PackedGlyph &f = t.font[size_t(d)];
	return std::max({matchPacked(g, f), matchPacked(gDilated, f), matchPacked(g, t.fontDilated[size_t(d)])});
}

float altScorePacked(const PackedGlyph &g, int32_t d)
{
	const Templates &t = templates();
	float best = 0.f;
	for (size_t i = 0; i < altGlyphs.size(); ++i)
		if (altGlyphs[i].digit == d)
			best = std::max(best, matchPacked(g, t.alt[i]));
	return best;
}

// The plain definitions, for grids of another size than 14 x 22 (the packed form has no room for
// ink outside the grid, which a dilation could pull in).
float fontScorePlain(const GrayImage &grid, int32_t d)
{
	const GrayImage f = renderFontDigit(d);
	return std::max({matchScore(grid, f), matchScore(dilateImage(grid), f), matchScore(grid, dilateImage(f))});
}

float altScorePlain(const GrayImage &grid, int32_t d)
{
	float best = 0.f;
	for (size_t i = 0; i < altGlyphs.size(); ++i)
		if (altGlyphs[i].digit == d)
			best = std::max(best, matchScore(grid, renderAltGlyph(int32_t(i))));
	return best;
}

} // namespace

float scoreFromCounts(int32_t agree, int32_t inkA, int32_t inkB)
{
	return 0.3f * float(std::min(inkA, inkB)) / float(std::max(1, std::max(inkA, inkB))) +
	       0.7f * float(agree) / float(kGridCells);
}

GrayImage renderFontDigit(int32_t d)
{
	GrayImage grid(kGridW, kGridH);
	if (d < 0 || d > 9)
		return grid;
	for (int32_t y = 0; y < kGridH; ++y) {
		const int32_t fontRow = int32_t((float(y) + 0.5f) * 11.f / 22.f);
		for (int32_t x = 0; x < kGridW; ++x) {
			const int32_t fontCol = int32_t((float(x) + 0.5f) * 7.f / 14.f);
			if (digitFont[size_t(d)][size_t(fontRow)] & (64 >> fontCol))
				grid.at(x, y) = 255;
		}
	}
	return grid;
}

GrayImage renderAltGlyph(int32_t i)
{
	GrayImage grid(kGridW, kGridH);
	if (i < 0 || size_t(i) >= altGlyphs.size())
		return grid;
	for (int32_t y = 0; y < kGridH; ++y)
		for (int32_t x = 0; x < kGridW; ++x)
			if (altGlyphs[size_t(i)].rows[size_t(y)] & (0x2000 >> x))
				grid.at(x, y) = 255;
	return grid;
}

GrayImage normalizeGlyph(const GrayImage &bilevel, const GlyphBox &box)
{
	const int64_t W = std::max<int64_t>(1, int64_t(box.x1) - box.x0);
	const int64_t H = std::max<int64_t>(1, int64_t(box.y1) - box.y0);
	GrayImage grid(kGridW, kGridH);
	// The source column of each grid column once, -1 outside the image: the same for every row.
	std::array<int32_t, kGridW> column{};
	for (int32_t x = 0; x < kGridW; ++x) {
		const int64_t sx = box.x0 + W * x / kGridW;
		column[size_t(x)] = sx >= 0 && sx < bilevel.width ? int32_t(sx) : -1;
	}
	for (int32_t y = 0; y < kGridH; ++y) {
		const int64_t sy = box.y0 + int64_t(y) * H / kGridH;
		if (sy < 0 || sy >= bilevel.height)
			continue;
		const uint8_t *row = bilevel.row(int32_t(sy));
		uint8_t *out = grid.row(y);
		for (int32_t x = 0; x < kGridW; ++x)
			if (column[size_t(x)] >= 0 && isInk(row[column[size_t(x)]]))
				out[x] = 255;
	}
	return grid;
}

GrayImage dilateImage(const GrayImage &image)
{
	GrayImage out = image;
	if (!image.wellFormed())
		return out;
	for (int32_t y = 0; y < image.height; ++y) {
		for (int32_t x = 0; x < image.width; ++x) {
			if (isInk(image.at(x, y)))
				continue;
			bool touches = false;
			for (int32_t dy = -1; dy <= 1 && !touches; ++dy)
				for (int32_t dx = -1; dx <= 1 && !touches; ++dx)
					touches = (dx || dy) && inkAt(image, x + dx, y + dy);
			if (touches)
				out.at(x, y) = 255;
		}
	}
	return out;
}

float matchScore(const GrayImage &a, const GrayImage &b)
{
	int32_t agree = 0, inkA = 0, inkB = 0;
	for (int32_t y = 0; y < kGridH; ++y) {
		for (int32_t x = 0; x < kGridW; ++x) {
			const bool ia = inkAt(a, x, y);
			const bool ib = inkAt(b, x, y);
			agree += ia == ib ? 1 : 0;
			inkA += ia ? 1 : 0;
			inkB += ib ? 1 : 0;
		}
	}
	return scoreFromCounts(agree, inkA, inkB);
}

float fontScore(const GrayImage &grid, int32_t d)
{
	if (d < 0 || d > 9 || !isGrid(grid))
		return fontScorePlain(grid, d);
	const PackedGlyph g = packGlyph(grid);
	return fontScorePacked(g, dilatePacked(g), d);
}

float altScore(const GrayImage &grid, int32_t d)
{
	if (!isGrid(grid))
		return altScorePlain(grid, d);
	return altScorePacked(packGlyph(grid), d);
}

float digitScore(const GrayImage &grid, int32_t d)
{
	return std::max(fontScore(grid, d), altScore(grid, d));
}

std::array<float, 10> digitScores(const GrayImage &grid)
{
	std::array<float, 10> scores{};
	if (!isGrid(grid)) {
		for (int32_t d = 0; d < 10; ++d)
			scores[size_t(d)] = std::max(fontScorePlain(grid, d), altScorePlain(grid, d));
		return scores;
	}
	const PackedGlyph g = packGlyph(grid);
	const PackedGlyph gDilated = dilatePacked(g);
	for (int32_t d = 0; d < 10; ++d)
		scores[size_t(d)] = std::max(fontScorePacked(g, gDilated, d), altScorePacked(g, d));
	return scores;
}

} // namespace ostrelo
