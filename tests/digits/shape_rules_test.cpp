#include "digits/shape_rules.h"

#include "digits/glyph_templates.h"
#include "digits/shape_measure.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace ostrelo {
namespace {

using test::art;

using test::openFour;

TEST(Holes, OnTheFontDigits)
{
	struct Case {
		int32_t digit, holes;
		float center; // -1: none
	} cases[] = {
		{0, 1, 0.5f}, {1, 0, -1.f},    {2, 0, -1.f}, {3, 0, -1.f}, {4, 1, 0.4048f},
		{5, 0, -1.f}, {6, 1, 0.6905f}, {7, 0, -1.f}, {8, 2, 0.5f}, {9, 1, 0.3095f},
	};
	for (const Case &c : cases) {
		const GrayImage g = renderFontDigit(c.digit);
		EXPECT_EQ(countHoles(g), c.holes) << c.digit;
		EXPECT_NEAR(holeCenter(g), c.center, 1e-4) << c.digit;
	}
}

TEST(Holes, BackgroundReachingTheBorderIsNotAHole)
{
	struct Case {
		const char *name;
		GrayImage image;
		int32_t holes;
		float center;
	} cases[] = {
		{"a one-pixel hole", art({"###", "#.#", "###"}), 1, 0.5f},
		{"open to the border", art({"###", "#..", "###"}), 0, -1.f},
		// Background joins only left, right, up and down: a diagonal gap does not open a hole.
		{"diagonal ink closes", art({".###.", "#...#", "#...#", ".###."}), 1, 0.5f},
		{"two holes, top and bottom", art({"###", "#.#", "###", "#.#", "###"}), 2, 0.5f},
		{"hole low down", art({"###", "###", "###", "#.#", "#.#", "###"}), 1, 3.5f / 5.f},
		{"open at the bottom", art({"###", "#.#", "#.#"}), 0, -1.f},
		{"no interior", art({"##", "##"}), 0, -1.f},
		{"empty", GrayImage(), 0, -1.f},
	};
	for (const Case &c : cases) {
		EXPECT_EQ(countHoles(c.image), c.holes) << c.name;
		EXPECT_FLOAT_EQ(holeCenter(c.image), c.center) << c.name;
	}
}

TEST(Holes, RowMasksOnTheGridEqualPixelFloodFills)
{
	std::vector<GrayImage> grids = test::builtInGrids();
	std::mt19937 rng(3);
	for (int32_t i = 0; i < 2000; ++i) {
		GrayImage g(kGridW, kGridH);
		const uint32_t density = 2 + rng() % 7;
		for (uint8_t &p : g.pixels)
			p = rng() % 10 < density ? 255 : 0;
		grids.push_back(g);
	}
	for (const GrayImage &g : grids) {
		const GlyphShape fast = measureShape(g);
		const GlyphShape plain = measureShapePlain(g);
		ASSERT_EQ(fast.holes, plain.holes) << test::toArt(g);
		ASSERT_EQ(fast.center, plain.center) << test::toArt(g);
	}
}

TEST(InkFraction, RegionsAsFractionsOfTheImage)
{
	const GrayImage g = art({"##..", "##..", "....", "...#"});
	EXPECT_FLOAT_EQ(inkFraction(g, 0.f, 0.5f, 0.f, 0.5f), 1.f);
	EXPECT_FLOAT_EQ(inkFraction(g, 0.f, 1.f, 0.f, 1.f), 5.f / 16.f);
	EXPECT_FLOAT_EQ(inkFraction(g, 0.5f, 1.f, 0.5f, 1.f), 0.25f);
	// Equal fractions still measure one row and one column.
	EXPECT_FLOAT_EQ(inkFraction(g, 0.25f, 0.25f, 0.25f, 0.25f), 1.f); // pixel (1, 1)
	EXPECT_FLOAT_EQ(inkFraction(g, 0.75f, 0.75f, 0.75f, 0.75f), 1.f); // pixel (3, 3)
	// A region starting at the far edge measures a row beyond it, which is background.
	EXPECT_FLOAT_EQ(inkFraction(g, 1.f, 1.f, 0.f, 1.f), 0.f);
	// Truncation: 4 x 0.3 = 1.2 starts at row 1.
	EXPECT_FLOAT_EQ(inkFraction(g, 0.3f, 0.5f, 0.f, 0.5f), 1.f);
	// Wild fractions are clamped instead of converting out of range.
	EXPECT_FLOAT_EQ(inkFraction(g, -1e30f, 1e30f, -1e30f, 1e30f), 5.f / 16.f);
}

TEST(ResolvePair, OnTheFontDigits)
{
	struct Case {
		int32_t glyph, a, b, result;
	} cases[] = {
		{8, 8, 9, 8}, {9, 8, 9, 9},        {9, 9, 8, 9}, // unordered
		{0, 0, 8, 0}, {8, 0, 8, 8},        {8, 8, 0, 8},        {6, 6, 9, 6},
		{9, 6, 9, 9}, {0, 6, 9, kNoDigit}, // hole in the middle
		{0, 0, 9, 0}, {9, 0, 9, 9},        {6, 0, 9, kNoDigit}, {1, 0, 9, kNoDigit},
		{2, 2, 3, 2}, {7, 2, 3, 3},        {9, 2, 3, kNoDigit}, {0, 0, 3, 0},
		{3, 0, 3, 3}, {9, 5, 9, 9},        {5, 5, 9, 5},        {4, 1, 4, 4},
		{7, 1, 4, 1}, {1, 1, 4, kNoDigit}, {4, 2, 7, kNoDigit}, // not a confusable pair
	};
	for (const Case &c : cases)
		EXPECT_EQ(resolvePair(renderFontDigit(c.glyph), c.a, c.b), c.result)
			<< "glyph " << c.glyph << " pair " << c.a << "," << c.b;
	EXPECT_EQ(resolvePair(openFour(), 1, 4), 4);
}

std::array<float, 10> flatScores(float value)
{
	std::array<float, 10> s;
	s.fill(value);
	return s;
}

TEST(RefineScores, PairRulesAndTheirLimits)
{
	struct Case {
		const char *name;
		GrayImage glyph;
		int32_t best;
		std::array<std::pair<int32_t, float>, 3> scores; // the rest are 0.3
		int32_t result;
	} cases[] = {
		{"two holes turn 9 into 8", renderFontDigit(8), 9, {{{8, 0.8f}, {9, 0.82f}, {0, 0.3f}}}, 8},
		{"hole override with a large lead", renderFontDigit(8), 9, {{{8, 0.7f}, {9, 0.95f}, {0, 0.3f}}}, 8},
		{"hole override too weak", renderFontDigit(8), 9, {{{8, 0.6f}, {9, 0.95f}, {0, 0.3f}}}, 9},
		{"one hole turns 8 into 9, then 9 holds",
		 renderFontDigit(9),
		 8,
		 {{{8, 0.85f}, {9, 0.8f}, {0, 0.3f}}},
		 9},
		{"one hole: 9 too weak, 0 too weak", renderFontDigit(9), 8, {{{8, 0.9f}, {9, 0.6f}, {0, 0.5f}}}, 8},
		// The general rule needs the new digit within 0.001 of the best.
		{"bottom bar but 2 scores lower", renderFontDigit(2), 3, {{{2, 0.7f}, {3, 0.75f}, {0, 0.3f}}}, 3},
		{"bottom bar and 2 level", renderFontDigit(2), 3, {{{2, 0.75f}, {3, 0.75f}, {0, 0.3f}}}, 2},
		{"bottom bar, 2 within 0.001", renderFontDigit(2), 3, {{{2, 0.7495f}, {3, 0.75f}, {0, 0.3f}}}, 2},
		{"bottom bar, 2 below 0.6", renderFontDigit(2), 3, {{{2, 0.59f}, {3, 0.58f}, {0, 0.3f}}}, 3},
		{"bottom bar, scores too far apart", renderFontDigit(2), 3, {{{2, 0.95f}, {3, 0.8f}, {0, 0.3f}}}, 3},
		{"no best", renderFontDigit(8), -1, {{{8, 0.8f}, {9, 0.82f}, {0, 0.3f}}}, -1},
	};
	for (const Case &c : cases) {
		std::array<float, 10> scores = flatScores(0.3f);
		for (auto [d, s] : c.scores)
			scores[size_t(d)] = s;
		int32_t best = c.best;
		refineScores(c.glyph, best, scores);
		EXPECT_EQ(best, c.result) << c.name;
	}
}

TEST(RefineScores, ConfirmedDigitsCapTheOthers)
{
	struct Case {
		const char *name;
		GrayImage glyph;
		int32_t best;
		float bestScore;
		bool confirmed;
	} cases[] = {
		{"8 with two holes", renderFontDigit(8), 8, 0.9f, true},
		{"9 with its hole high", renderFontDigit(9), 9, 0.9f, true},
		{"9 with its hole low", renderFontDigit(6), 9, 0.9f, false},
		{"6 with its hole low", renderFontDigit(6), 6, 0.9f, true},
		{"0 with its hole in the middle", renderFontDigit(0), 0, 0.9f, true},
		{"4 with an open top", openFour(), 4, 0.9f, true},
		{"5 scoring 0.81", renderFontDigit(5), 5, 0.81f, false},
		{"5 scoring 0.82", renderFontDigit(5), 5, 0.82f, true},
		{"3 is never confirmed", renderFontDigit(3), 3, 0.99f, false},
		{"8 without holes", renderFontDigit(3), 8, 0.99f, false},
	};
	for (const Case &c : cases) {
		std::array<float, 10> scores = flatScores(0.79f);
		scores[1] = 0.2f;
		scores[size_t(c.best)] = c.bestScore;
		int32_t best = c.best;
		refineScores(c.glyph, best, scores);
		ASSERT_EQ(best, c.best) << c.name;
		EXPECT_EQ(scores[size_t(best)], c.bestScore) << c.name;
		const float cap = (c.bestScore - 0.08f) - 0.02f;
		for (int32_t d = 0; d < 10; ++d) {
			if (d == best)
				continue;
			const float before = d == 1 ? 0.2f : 0.79f;
			EXPECT_EQ(scores[size_t(d)], c.confirmed ? std::min(before, cap) : before)
				<< c.name << " digit " << d;
		}
	}
}

TEST(RefineScores, ConfirmationAfterASwitchLeadsByAboutATenth)
{
	std::array<float, 10> scores = flatScores(0.3f);
	scores[8] = 0.8f;
	scores[9] = 0.82f;
	int32_t best = 9;
	refineScores(renderFontDigit(8), best, scores);
	ASSERT_EQ(best, 8);
	EXPECT_EQ(scores[8], 0.8f);
	EXPECT_NEAR(scores[9], 0.7f, 1e-6);
	EXPECT_EQ(scores[0], 0.3f);
}

TEST(OpenFour, ShapeTest)
{
	struct Case {
		const char *name;
		GrayImage image;
		bool open;
	} cases[] = {
		{"open-topped 4", openFour(), true},
		{"the font's closed 4 (one hole is allowed)", test::fontDigitOnGround(4), true},
		{"an 8 has two holes", test::fontDigitOnGround(8), false},
		{"a 1",
		 art({"......", "..##..", ".###..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..",
		      "..##..", "......"}),
		 false},
		{"too short", art({"........", ".#...#..", ".#####..", ".....#..", ".....#..", "........"}), false},
		{"two glyphs",
		 [] {
			 GrayImage two = openFour();
			 GrayImage wide(two.width * 2, two.height);
			 for (int32_t y = 0; y < two.height; ++y)
				 for (int32_t x = 0; x < two.width; ++x)
					 wide.at(x, y) = wide.at(x + two.width, y) = two.at(x, y);
			 return wide;
		 }(),
		 false},
		{"nothing", GrayImage(20, 20), false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isOpenFour(c.image), c.open) << c.name;
}

} // namespace
} // namespace ostrelo
