#include "digits/glyph_templates.h"

#include "digits/image_prep.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace ostrelo {
namespace {

using test::art;

GrayImage gridWithInk(std::initializer_list<std::pair<int32_t, int32_t>> cells)
{
	GrayImage grid(kGridW, kGridH);
	for (auto [x, y] : cells)
		grid.at(x, y) = 255;
	return grid;
}

TEST(FontDigits, EachFontPixelIsATwoByTwoBlock)
{
	for (int32_t d = 0; d < 10; ++d) {
		const GrayImage grid = renderFontDigit(d);
		ASSERT_EQ(grid.width, kGridW);
		ASSERT_EQ(grid.height, kGridH);
		for (int32_t y = 0; y < kGridH; ++y)
			for (int32_t x = 0; x < kGridW; ++x)
				ASSERT_EQ(grid.at(x, y) == 255,
					  (digitFont[size_t(d)][size_t(y / 2)] & (64 >> (x / 2))) != 0)
					<< d << " at " << x << "," << y;
	}
}

TEST(FontDigits, SevenHasAFullTopBarAndNothingLowerLeft)
{
	const GrayImage seven = renderFontDigit(7);
	for (int32_t y = 0; y < 2; ++y)
		for (int32_t x = 0; x < kGridW; ++x)
			EXPECT_EQ(seven.at(x, y), 255);
	for (int32_t y = 16; y < 22; ++y)
		for (int32_t x = 0; x < 4; ++x)
			EXPECT_EQ(seven.at(x, y), 0);
}

TEST(FontDigits, OutOfRangeDigitsAreBlank)
{
	for (int32_t d : {-1, 10, 1000})
		EXPECT_EQ(inkCount(renderFontDigit(d)), 0);
	EXPECT_EQ(inkCount(renderAltGlyph(-1)), 0);
	EXPECT_EQ(inkCount(renderAltGlyph(9)), 0);
}

TEST(AltGlyphs, DrawnFromTheRowMasks)
{
	// The first alternative (a 1): a two-pixel stem on the right and a flag in rows 2 to 5.
	EXPECT_EQ(test::toArt(renderAltGlyph(0)).substr(0, 6 * 15), "............##\n"
								    "............##\n"
								    "##############\n"
								    "##############\n"
								    "######......##\n"
								    "######......##\n");
	int32_t ones = 0;
	for (const AltGlyph &a : altGlyphs)
		ones += a.digit == 1 ? 1 : 0;
	EXPECT_EQ(ones, 3);
}

TEST(NormalizeGlyph, NearestNeighbourFromTheTopLeftCorner)
{
	// A box one pixel wide: every grid column samples column x0.
	GrayImage column(5, 22);
	for (int32_t y = 0; y < 22; y += 2)
		column.at(3, y) = 255;
	const GrayImage narrow = normalizeGlyph(column, GlyphBox{3, 0, 4, 22});
	for (int32_t y = 0; y < kGridH; ++y)
		for (int32_t x = 0; x < kGridW; ++x)
			ASSERT_EQ(narrow.at(x, y), y % 2 == 0 ? 255 : 0);

	// A box 28 x 44 samples every second column and row, starting at (x0, y0).
	GrayImage big(40, 50);
	for (int32_t y = 0; y < 50; ++y)
		for (int32_t x = 0; x < 40; ++x)
			big.at(x, y) = ((x - 5) % 2 == 0 && (y - 3) % 4 == 0) ? 255 : 0;
	const GrayImage half = normalizeGlyph(big, GlyphBox{5, 3, 33, 47});
	for (int32_t y = 0; y < kGridH; ++y)
		for (int32_t x = 0; x < kGridW; ++x)
			ASSERT_EQ(half.at(x, y), y % 2 == 0 ? 255 : 0) << x << "," << y;

	// Positions outside the image are background; values below 128 are not ink.
	GrayImage grey(4, 4, 127);
	grey.at(0, 0) = 128;
	const GrayImage outside = normalizeGlyph(grey, GlyphBox{-14, -22, 14, 22});
	EXPECT_EQ(inkCount(outside), 1);
	EXPECT_EQ(outside.at(7, 11), 255);
}

TEST(DilateImage, GrowsInkByOnePixelAllAround)
{
	EXPECT_EQ(test::toArt(dilateImage(art({"#...", "....", "....", "...."}))), "##..\n##..\n....\n....\n");
	EXPECT_EQ(test::toArt(dilateImage(art({".....", ".....", "..#..", ".....", "....."}))),
		  ".....\n.###.\n.###.\n.###.\n.....\n");
	// Ink keeps its own value; grey below 128 neither spreads nor stays.
	GrayImage mixed(3, 1);
	mixed.pixels = {200, 0, 127};
	EXPECT_EQ(dilateImage(mixed).pixels, (std::vector<uint8_t>{200, 255, 127}));
}

TEST(MatchScore, AgreementAndInkBalance)
{
	const GrayImage empty(kGridW, kGridH);
	EXPECT_FLOAT_EQ(matchScore(empty, empty), 0.7f);
	for (int32_t d = 0; d < 10; ++d)
		EXPECT_FLOAT_EQ(matchScore(renderFontDigit(d), renderFontDigit(d)), 1.f) << d;

	// 10 ink cells against 20 that include them: 298 of 308 cells agree.
	GrayImage a(kGridW, kGridH), b(kGridW, kGridH);
	for (int32_t x = 0; x < 10; ++x) {
		a.at(x, 0) = b.at(x, 0) = 255;
		b.at(x, 1) = 255;
	}
	const float expected = 0.3f * 10.f / 20.f + 0.7f * 298.f / 308.f;
	EXPECT_FLOAT_EQ(matchScore(a, b), expected);
	EXPECT_EQ(matchScore(a, b), matchScore(b, a));
	// Nothing in common: only the background agrees.
	EXPECT_FLOAT_EQ(matchScore(a, empty), 0.7f * 298.f / 308.f);
}

TEST(DigitScore, FontDigitsScoreOneAgainstThemselves)
{
	for (int32_t d = 0; d < 10; ++d) {
		EXPECT_FLOAT_EQ(digitScore(renderFontDigit(d), d), 1.f) << d;
		EXPECT_FLOAT_EQ(fontScore(renderFontDigit(d), d), 1.f) << d;
	}
}

TEST(DigitScore, AlternativesCountOnlyForTheirDigit)
{
	std::mt19937 rng(7);
	std::vector<GrayImage> grids = {renderFontDigit(5), renderAltGlyph(0), GrayImage(kGridW, kGridH)};
	for (int32_t i = 0; i < 5; ++i) {
		GrayImage g(kGridW, kGridH);
		for (uint8_t &p : g.pixels)
			p = rng() % 3 == 0 ? 255 : 0;
		grids.push_back(g);
	}
	for (const GrayImage &g : grids) {
		for (int32_t d : {0, 4, 5, 6, 8})
			EXPECT_EQ(altScore(g, d), 0.f) << d;
		const float ones = std::max({matchScore(g, renderAltGlyph(0)), matchScore(g, renderAltGlyph(1)),
					     matchScore(g, renderAltGlyph(2))});
		EXPECT_EQ(altScore(g, 1), ones);
	}
	EXPECT_FLOAT_EQ(altScore(renderAltGlyph(6), 7), 1.f);
	EXPECT_FLOAT_EQ(digitScore(renderAltGlyph(6), 7), 1.f);
}

// What the scores are by definition, from the plain image functions.
float plainDigitScore(const GrayImage &g, int32_t d)
{
	const GrayImage f = renderFontDigit(d);
	float best = std::max({matchScore(g, f), matchScore(dilateImage(g), f), matchScore(g, dilateImage(f))});
	for (size_t i = 0; i < altGlyphs.size(); ++i)
		if (altGlyphs[i].digit == d)
			best = std::max(best, matchScore(g, renderAltGlyph(int32_t(i))));
	return best;
}

TEST(DigitScore, PackedScoresEqualThePlainDefinitionBitForBit)
{
	std::vector<GrayImage> grids = test::builtInGrids();
	// Ink on the grid's edges tests the packing across words and the dilation at the borders.
	grids.push_back(gridWithInk({{0, 0}, {13, 0}, {0, 21}, {13, 21}, {4, 4}, {13, 4}, {0, 9}}));
	std::mt19937 rng(42);
	for (int32_t i = 0; i < 300; ++i) {
		GrayImage g(kGridW, kGridH);
		const uint32_t density = 1 + rng() % 8;
		for (uint8_t &p : g.pixels)
			p = rng() % 10 < density ? uint8_t(128 + rng() % 128) : uint8_t(rng() % 128);
		grids.push_back(g);
	}
	for (const GrayImage &g : grids) {
		const std::array<float, 10> all = digitScores(g);
		for (int32_t d = 0; d < 10; ++d) {
			const float plain = plainDigitScore(g, d);
			ASSERT_EQ(all[size_t(d)], plain) << test::toArt(g) << "digit " << d;
			ASSERT_EQ(digitScore(g, d), plain);
		}
	}
}

TEST(DigitScore, GridsOfAnotherSizeUseThePlainDefinition)
{
	// A glyph drawn one column wider than the grid: dilation pulls its extra column in.
	GrayImage wide(15, 22);
	for (int32_t y = 0; y < 22; ++y)
		wide.at(14, y) = 255;
	for (int32_t d = 0; d < 10; ++d)
		EXPECT_EQ(digitScores(wide)[size_t(d)], plainDigitScore(wide, d));
}

} // namespace
} // namespace ostrelo
