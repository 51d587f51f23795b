#include "digits/segmentation.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace ostrelo {
namespace {

using test::art;

GlyphBox box(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
	return GlyphBox{x0, y0, x1, y1};
}

// Draws a filled rectangle of ink.
void fill(GrayImage &image, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
	for (int32_t y = y0; y < y1; ++y)
		for (int32_t x = x0; x < x1; ++x)
			image.at(x, y) = 255;
}

TEST(FindComponents, SizeFilterAndEightConnectivity)
{
	struct Case {
		const char *name;
		GrayImage image;
		GlyphBoxes expected;
	} cases[] = {
		{"three pixels are a speck", art({"......", "..#...", "..#...", "..#...", "......", "......"}), {}},
		{"four pixels four high",
		 art({"......", "..#...", "..#...", "..#...", "..#...", "......"}),
		 {box(2, 1, 3, 5)}},
		{"four pixels but only two high",
		 art({"......", "..##..", "..##..", "......", "......", "......"}),
		 {}},
		{"a diagonal is one component",
		 art({"#.....", ".#....", "..#...", "...#..", "....#.", "......"}),
		 {box(0, 0, 5, 5)}},
		{"so is the other diagonal",
		 art({".....#", "....#.", "...#..", "..#...", ".#....", "......"}),
		 {box(1, 0, 6, 5)}},
		// The arms only join in the last row: the labelling must merge their labels.
		{"a U is one component",
		 art({"#...#.", "#...#.", "#...#.", "#####.", "......", "......"}),
		 {box(0, 0, 5, 4)}},
		{"ink of any value",
		 [] {
			 GrayImage image = art({"......", ".#....", ".#....", ".#....", ".#....", "......"});
			 image.at(1, 2) = 1; // the component search takes every non-zero pixel
			 return image;
		 }(),
		 {box(1, 1, 2, 5)}},
	};
	for (const Case &c : cases)
		EXPECT_EQ(findComponents(c.image), c.expected) << c.name;
	EXPECT_TRUE(findComponents(GrayImage(20, 20)).empty());
	EXPECT_TRUE(findComponents(GrayImage()).empty());
}

TEST(FindComponents, ThresholdsGrowWithTheImage)
{
	// 400 x 40: a component needs max(4, 16000 / 800) = 20 pixels and a height of max(4, 5) = 5.
	GrayImage image(400, 40);
	fill(image, 10, 10, 14, 15); // 4 x 5 = 20 pixels, 5 high: kept
	fill(image, 30, 10, 34, 15); // 19 pixels: one corner removed below
	image.at(30, 10) = 0;
	fill(image, 50, 10, 60, 14); // 40 pixels but 4 high
	fill(image, 70, 10, 71, 30); // a 1 x 20 stroke: kept
	EXPECT_EQ(findComponents(image), (GlyphBoxes{box(10, 10, 14, 15), box(70, 10, 71, 30)}));
}

// Components found by flooding from each unlabelled ink pixel in raster order: slow and plain.
GlyphBoxes floodComponents(const GrayImage &image)
{
	const int32_t w = image.width, h = image.height;
	std::vector<uint8_t> seen(image.pixels.size(), 0);
	GlyphBoxes boxes;
	for (int32_t sy = 0; sy < h; ++sy) {
		for (int32_t sx = 0; sx < w; ++sx) {
			if (!image.at(sx, sy) || seen[size_t(sy * w + sx)])
				continue;
			GlyphBox b{sx, sy, sx + 1, sy + 1};
			int64_t count = 0;
			std::vector<std::pair<int32_t, int32_t>> stack{{sx, sy}};
			seen[size_t(sy * w + sx)] = 1;
			while (!stack.empty()) {
				const auto [x, y] = stack.back();
				stack.pop_back();
				++count;
				b = GlyphBox{std::min(b.x0, x), std::min(b.y0, y), std::max(b.x1, x + 1),
					     std::max(b.y1, y + 1)};
				for (int32_t dy = -1; dy <= 1; ++dy)
					for (int32_t dx = -1; dx <= 1; ++dx) {
						const int32_t nx = x + dx, ny = y + dy;
						if (nx >= 0 && ny >= 0 && nx < w && ny < h && image.at(nx, ny) &&
						    !seen[size_t(ny * w + nx)]) {
							seen[size_t(ny * w + nx)] = 1;
							stack.push_back({nx, ny});
						}
					}
			}
			if (count >= std::max<int64_t>(4, int64_t(w) * h / 800) && b.bh() >= std::max(4, h / 8))
				boxes.push_back(b);
		}
	}
	std::stable_sort(boxes.begin(), boxes.end(), [](const GlyphBox &a, const GlyphBox &b) { return a.x0 < b.x0; });
	return boxes;
}

TEST(FindComponents, SameAsFloodingOnRandomImages)
{
	std::mt19937 rng(99);
	for (int32_t i = 0; i < 400; ++i) {
		GrayImage image(1 + int32_t(rng() % 60), 1 + int32_t(rng() % 60));
		const uint32_t density = 1 + rng() % 9;
		// Blobs of 1 to 4 pixels a side make long, branching components.
		const int32_t blob = 1 + int32_t(rng() % 4);
		for (int32_t y = 0; y < image.height; y += blob)
			for (int32_t x = 0; x < image.width; x += blob)
				if (rng() % 10 < density)
					for (int32_t by = y; by < std::min(y + blob, image.height); ++by)
						for (int32_t bx = x; bx < std::min(x + blob, image.width); ++bx)
							image.at(bx, by) = 255;
		ASSERT_EQ(findComponents(image), floodComponents(image)) << test::toArt(image);
	}
}

TEST(FindComponents, SortedByLeftEdge)
{
	// The right component starts higher, so raster order would list it first.
	const GrayImage image = art({
		"......#.",
		"......#.",
		".#....#.",
		".#....#.",
		".#......",
		".#......",
	});
	EXPECT_EQ(findComponents(image), (GlyphBoxes{box(1, 2, 2, 6), box(6, 0, 7, 4)}));
}

// Two bold rectangular glyphs 20 high, each with 3-pixel sides and 4-pixel bars (their inner
// columns hold 8 pixels, more than a third of the peak), joined by a bridge of `bridgeWidth`
// columns two pixels high.
GrayImage joinedPair(int32_t glyphWidth, int32_t bridgeWidth)
{
	const int32_t w = 2 * glyphWidth + bridgeWidth;
	GrayImage image(w + 4, 24);
	for (int32_t g = 0; g < 2; ++g) {
		const int32_t x0 = 2 + g * (glyphWidth + bridgeWidth);
		fill(image, x0, 2, x0 + glyphWidth, 22);
		for (int32_t y = 6; y < 18; ++y)
			for (int32_t x = x0 + 3; x < x0 + glyphWidth - 3; ++x)
				image.at(x, y) = 0;
	}
	fill(image, 2 + glyphWidth, 11, 2 + glyphWidth + bridgeWidth, 13);
	return image;
}

TEST(SplitWideBoxes, CutsTouchingGlyphsAtTheValley)
{
	const GrayImage pair = joinedPair(9, 2);
	const GlyphBoxes found = findComponents(pair);
	ASSERT_EQ(found, (GlyphBoxes{box(2, 2, 22, 22)}));
	// Cut at the first bridge column; the second (equally deep, one column on) is too close.
	EXPECT_EQ(splitWideBoxes(pair, found), (GlyphBoxes{box(2, 2, 11, 22), box(11, 2, 22, 22)}));
}

TEST(SplitWideBoxes, OverlappingBoxesAreCutAsEachAlone)
{
	// The boxes of interleaved strokes overlap and may reach past the crop; together these
	// cover it nearly three times over. Each is still cut by its own columns alone.
	const GrayImage pair = joinedPair(9, 2);
	const GlyphBoxes boxes{box(2, 2, 22, 22), box(0, 0, 24, 24), box(-4, 2, 12, 22), box(10, -6, 30, 16),
			       box(2, 2, 22, 22)};
	GlyphBoxes alone;
	for (const GlyphBox &b : boxes) {
		const GlyphBoxes pieces = splitWideBoxes(pair, {b});
		alone.insert(alone.end(), pieces.begin(), pieces.end());
	}
	EXPECT_GT(alone.size(), boxes.size()); // some of them are cut
	EXPECT_EQ(splitWideBoxes(pair, boxes), alone);
}

TEST(SplitWideBoxes, OnlyBoxesAtLeastFourFifthsAsWideAsHighAreExamined)
{
	// 7 + 2 + 7 = 16 wide and 20 high: 5 x 16 = 4 x 20, examined.
	const GrayImage wide = joinedPair(7, 2);
	EXPECT_EQ(splitWideBoxes(wide, findComponents(wide)).size(), 2u);
	// 7 + 1 + 7 = 15 wide: passes unchanged.
	const GrayImage narrow = joinedPair(7, 1);
	EXPECT_EQ(splitWideBoxes(narrow, findComponents(narrow)), findComponents(narrow));
}

TEST(SplitWideBoxes, NarrowEmptyAndProfilelessBoxesPass)
{
	// A valley in a box 7 wide is ignored (bw < 8); the same valley 8 wide is cut.
	const GrayImage seven = art({"##.##.#", "##.##.#", "##.##.#", "##.##.#", "##.##.#"});
	EXPECT_EQ(splitWideBoxes(seven, {box(0, 0, 7, 5)}), (GlyphBoxes{box(0, 0, 7, 5)}));
	const GrayImage eight = art({"###.####", "###.####", "###.####", "###.####", "###.####"});
	EXPECT_EQ(splitWideBoxes(eight, {box(0, 0, 8, 5)}), (GlyphBoxes{box(0, 0, 3, 5), box(3, 0, 8, 5)}));
	// No ink under the box at all.
	EXPECT_EQ(splitWideBoxes(GrayImage(30, 30), {box(0, 0, 30, 20)}), (GlyphBoxes{box(0, 0, 30, 20)}));
	EXPECT_TRUE(splitWideBoxes(seven, {}).empty());
}

TEST(SplitWideBoxes, OfTwoCloseValleysTheDeeperWins)
{
	// A box 20 wide and 15 high (minPart 3) with valleys at columns 5 and 7, two apart.
	auto profile = [](int32_t col5, int32_t col7) {
		GrayImage image(20, 15);
		fill(image, 0, 0, 5, 15);
		fill(image, 5, 0, 6, col5);
		fill(image, 6, 0, 7, 5);
		fill(image, 7, 0, 8, col7);
		fill(image, 8, 0, 20, 15);
		return image;
	};
	EXPECT_EQ(splitWideBoxes(profile(3, 1), {box(0, 0, 20, 15)}),
		  (GlyphBoxes{box(0, 0, 7, 15), box(7, 0, 20, 15)}));
	EXPECT_EQ(splitWideBoxes(profile(1, 3), {box(0, 0, 20, 15)}),
		  (GlyphBoxes{box(0, 0, 5, 15), box(5, 0, 20, 15)}));
	// Equally deep: the first stays.
	EXPECT_EQ(splitWideBoxes(profile(2, 2), {box(0, 0, 20, 15)}),
		  (GlyphBoxes{box(0, 0, 5, 15), box(5, 0, 20, 15)}));
}

TEST(SplitWideBoxes, ValleysNeedTallNeighboursOnBothSides)
{
	// A deep valley with only a short stub on its right is the end of a glyph, not a join.
	GrayImage image(20, 10);
	fill(image, 0, 0, 14, 10);
	for (int32_t y = 0; y < 10; ++y)
		image.at(10, y) = 0; // an empty column at 10 ...
	fill(image, 14, 8, 20, 10);  // ... and only 2-pixel columns right of 14
	for (int32_t y = 0; y < 10; ++y)
		for (int32_t x = 11; x < 14; ++x)
			image.at(x, y) = y < 4 ? 255 : 0; // 4-pixel columns: rightMax 4 < peak / 2
	EXPECT_EQ(splitWideBoxes(image, {box(0, 0, 20, 10)}), (GlyphBoxes{box(0, 0, 20, 10)}));
}

TEST(MergeBoxPieces, JoinsPiecesOfOneTallGlyph)
{
	struct Case {
		const char *name;
		GlyphBoxes in, out;
	} cases[] = {
		{"stacked, 3 apart", {box(0, 0, 10, 9), box(0, 12, 10, 20)}, {box(0, 0, 10, 20)}},
		{"stacked, too far apart",
		 {box(0, 0, 10, 9), box(0, 15, 10, 24)},
		 {box(0, 0, 10, 9), box(0, 15, 10, 24)}},
		{"stacked but barely overlapping columns",
		 {box(0, 0, 10, 9), box(5, 12, 15, 20)},
		 {box(0, 0, 10, 9), box(5, 12, 15, 20)}},
		{"strokes one column apart", {box(0, 0, 4, 20), box(5, 0, 9, 20)}, {box(0, 0, 9, 20)}},
		{"strokes two columns apart",
		 {box(0, 0, 4, 20), box(6, 0, 10, 20)},
		 {box(0, 0, 4, 20), box(6, 0, 10, 20)}},
		{"union exactly 4/5 as wide as high", {box(0, 0, 8, 20), box(8, 0, 16, 20)}, {box(0, 0, 16, 20)}},
		{"union too wide", {box(0, 0, 8, 20), box(9, 0, 17, 20)}, {box(0, 0, 8, 20), box(9, 0, 17, 20)}},
		{"side by side with too little vertical overlap",
		 {box(0, 0, 4, 20), box(5, 18, 9, 40)},
		 {box(0, 0, 4, 20), box(5, 18, 9, 40)}},
		{"one box", {box(0, 0, 4, 20)}, {box(0, 0, 4, 20)}},
		{"none", {}, {}},
	};
	for (const Case &c : cases)
		EXPECT_EQ(mergeBoxPieces(c.in), c.out) << c.name;
}

TEST(MergeBoxPieces, RepeatsPassesUntilNothingMerges)
{
	// A is beside neither piece of the split stroke on its own, but beside their union.
	const GlyphBox a = box(0, 8, 4, 20);
	const GlyphBox top = box(5, 0, 9, 6);
	const GlyphBox bottom = box(5, 8, 9, 20);
	EXPECT_EQ(mergeBoxPieces({a, top, bottom}), (GlyphBoxes{box(0, 0, 9, 20)}));
}

TEST(SelectTextLine, DropsSmallMarksHighUp)
{
	struct Case {
		const char *name;
		GlyphBoxes in;
		int32_t height;
		GlyphBoxes out;
	} cases[] = {
		{"a mark in the top 40 %", {box(0, 10, 10, 38), box(12, 2, 16, 8)}, 40, {box(0, 10, 10, 38)}},
		{"a mark whose centre is at 2/5",
		 {box(0, 10, 10, 38), box(12, 14, 16, 18)},
		 40,
		 {box(0, 10, 10, 38), box(12, 14, 16, 18)}},
		{"a tall box high up stays", {box(0, 0, 10, 25)}, 40, {box(0, 0, 10, 25)}},
		{"nothing survives", {box(12, 2, 16, 8)}, 40, {}},
		{"no height: no filter", {box(12, 2, 16, 8)}, 0, {box(12, 2, 16, 8)}},
		{"sorted by x",
		 {box(20, 10, 30, 30), box(0, 12, 10, 32)},
		 40,
		 {box(0, 12, 10, 32), box(20, 10, 30, 30)}},
	};
	for (const Case &c : cases)
		EXPECT_EQ(selectTextLine(c.in, c.height), c.out) << c.name;
}

TEST(SelectTextLine, KeepsTheLowestLine)
{
	// Two lines in a crop 100 high, both below the top 40 %; medianH 18 gives a gap of 4.
	const GlyphBoxes upper = {box(0, 42, 10, 60), box(12, 43, 22, 60)};
	const GlyphBoxes lower = {box(30, 70, 40, 88), box(0, 71, 10, 88), box(15, 70, 25, 89)};
	GlyphBoxes all = upper;
	all.insert(all.end(), lower.begin(), lower.end());
	EXPECT_EQ(selectTextLine(all, 100), (GlyphBoxes{box(0, 71, 10, 88), box(15, 70, 25, 89), box(30, 70, 40, 88)}));

	// A line starting less than the gap below the first is the same line.
	EXPECT_EQ(selectTextLine({box(0, 42, 10, 60), box(12, 63, 22, 81)}, 100).size(), 2u);
	EXPECT_EQ(selectTextLine({box(0, 42, 10, 60), box(12, 64, 22, 82)}, 100), (GlyphBoxes{box(12, 64, 22, 82)}));
}

TEST(ConsistentRow, HeightsAndSpacing)
{
	struct Case {
		const char *name;
		GlyphBoxes boxes;
		bool consistent;
	} cases[] = {
		{"empty", {}, true},
		{"one box", {box(0, 0, 3, 50)}, true},
		{"even row", {box(0, 0, 10, 20), box(12, 0, 22, 20), box(24, 0, 34, 20)}, true},
		{"one at half height", {box(0, 0, 10, 20), box(12, 10, 22, 20), box(24, 0, 34, 20)}, false},
		{"0.6 of the median", {box(0, 0, 10, 20), box(12, 8, 22, 20), box(24, 0, 34, 20)}, true},
		{"below 0.6", {box(0, 0, 10, 20), box(12, 9, 22, 20), box(24, 0, 34, 20)}, false},
		{"5/3 of the median", {box(0, 0, 10, 20), box(12, 0, 22, 33), box(24, 0, 34, 20)}, true},
		{"above 5/3", {box(0, 0, 10, 20), box(12, 0, 22, 34), box(24, 0, 34, 20)}, false},
		// Gap limit 2 x 10 + 20 / 2 = 30.
		{"gap of 30", {box(0, 0, 10, 20), box(40, 0, 50, 20)}, true},
		{"gap of 31", {box(0, 0, 10, 20), box(41, 0, 51, 20)}, false},
		// Square glyphs: the limit is 2 x 10 + 10 / 2 = 25, less than three widths.
		{"three digit widths apart", {box(0, 0, 10, 10), box(12, 0, 22, 10), box(52, 0, 62, 10)}, false},
		// Overlap limit 10 / 2 = 5.
		{"overlap of 5", {box(0, 0, 10, 20), box(5, 0, 15, 20)}, true},
		{"overlap of 6", {box(0, 0, 10, 20), box(4, 0, 14, 20)}, false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isConsistentRow(c.boxes), c.consistent) << c.name;
}

TEST(SegmentGlyphs, SplitsBeforeMergingAndKeepsOneLine)
{
	// Two bold glyphs joined by a bridge, a speck, and a small mark above them.
	GrayImage image = joinedPair(9, 2);
	image.at(0, 0) = 255;
	EXPECT_EQ(segmentGlyphs(image), (GlyphBoxes{box(2, 2, 11, 22), box(11, 2, 22, 22)}));
}

} // namespace
} // namespace ostrelo
