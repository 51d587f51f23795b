// Counting: the blue test and each step from the mask to the plate count.

#include "plates/plates_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace ostrelo;
using namespace ostrelo::plates;

namespace {

// A mask drawn as text: '#' set, anything else clear.
Mask maskOf(std::initializer_list<const char *> rows)
{
	Mask m;
	m.height = int32_t(rows.size());
	m.width = int32_t(std::string(*rows.begin()).size());
	for (const char *row : rows)
		for (int x = 0; x < m.width; ++x)
			m.bits.push_back(row[x] == '#');
	return m;
}

Mask emptyMask(int w, int h)
{
	return Mask{w, h, std::vector<uint8_t>(size_t(w) * size_t(h), 0)};
}

std::vector<int32_t> profileOf(std::initializer_list<std::pair<int, int>> runs)
{
	std::vector<int32_t> p;
	for (const auto &[value, count] : runs)
		p.insert(p.end(), size_t(count), value);
	return p;
}

} // namespace

TEST(IsPlateBlue, EachRuleDecides)
{
	struct Case {
		uint8_t r, g, b;
		bool blue;
		const char *why;
	} cases[] = {
		{40, 150, 230, true, "HUD blue, hue 208"},
		{128, 128, 128, false, "grey"},
		{0, 0, 0, false, "black"},
		{40, 200, 60, false, "green"},
		{230, 60, 60, false, "red"},
		{20, 82, 82, true, "cyan, value 0.3216"},
		{20, 81, 81, false, "cyan, value 0.3176"},
		{0, 81, 240, true, "hue 219.75"},
		{0, 78, 240, false, "hue 220.5"},
		{100, 200, 185, true, "hue 171"},
		{100, 200, 180, false, "hue 168"},
		{167, 180, 200, true, "saturation 0.165"},
		{169, 180, 200, false, "saturation 0.155"},
		{0, 200, 180, true, "B = G - 20"},
		{0, 200, 179, false, "B < G - 20"},
		{68, 75, 82, true, "G + B = 2R + 21"},
		{68, 73, 82, false, "G + B = 2R + 19"},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isPlateBlue(c.r, c.g, c.b), c.blue) << c.why;
}

TEST(IsPlateBlue, DecidesEveryColourAsTheFloatRulesDo)
{
	int64_t wrong = 0;
	for (int r = 0; r < 256; ++r)
		for (int g = 0; g < 256; ++g)
			for (int b = 0; b < 256; ++b)
				if (isPlateBlue(uint8_t(r), uint8_t(g), uint8_t(b)) !=
					    isPlateBlueByFloats(uint8_t(r), uint8_t(g), uint8_t(b)) &&
				    wrong++ < 5)
					ADD_FAILURE() << r << " " << g << " " << b;
	EXPECT_EQ(wrong, 0);
}

TEST(PlateMask, MarksEveryColourAsTheFloatRulesDo)
{
	// Every colour once, in rows of an odd width with padding after each row, alpha varying.
	const int32_t width = 4099, height = int32_t(((int64_t(1) << 24) + width - 1) / width);
	const int32_t stride = width * 4 + 12;
	std::vector<uint8_t> pixels(size_t(stride) * size_t(height), 0);
	for (uint32_t c = 0; c < (1u << 24); ++c) {
		uint8_t *p =
			pixels.data() + size_t(c / uint32_t(width)) * size_t(stride) + size_t(c % uint32_t(width)) * 4;
		p[0] = uint8_t(c >> 16);
		p[1] = uint8_t(c >> 8);
		p[2] = uint8_t(c);
		p[3] = uint8_t(c * 7);
	}
	const Mask mask = plateMask(RgbaCrop{pixels.data(), width, height, stride});
	ASSERT_EQ(mask.width, width);
	ASSERT_EQ(mask.height, height);
	int64_t wrong = 0, set = 0;
	for (int32_t y = 0; y < height; ++y)
		for (int32_t x = 0; x < width; ++x) {
			const uint8_t *p = pixels.data() + size_t(y) * size_t(stride) + size_t(x) * 4;
			const bool expected = isPlateBlueByFloats(p[0], p[1], p[2]);
			set += expected;
			if ((mask.at(x, y) != 0) != expected && wrong++ < 5)
				ADD_FAILURE() << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
		}
	EXPECT_EQ(wrong, 0);
	EXPECT_EQ(mask.setCount, set);
}

TEST(ShearSearch, StraightensASlantedRow)
{
	// A row of pixels falling by 0.07 per column (no rounding ties across 98 columns).
	Mask slanted = emptyMask(98, 30);
	for (int x = 0; x < 98; ++x)
		slanted.bits[size_t((15 - std::lround((x - 49) * 0.07)) * 98 + x)] = 1;
	EXPECT_FLOAT_EQ(findShear(slanted), 0.07f);
	const Mask sheared = shearMask(slanted, 0.07f);
	for (int x = 0; x < 98; ++x)
		EXPECT_EQ(sheared.at(x, 15), 1) << x;

	Mask rising = emptyMask(98, 30);
	for (int x = 0; x < 98; ++x)
		rising.bits[size_t((15 + std::lround((x - 49) * 0.04)) * 98 + x)] = 1;
	EXPECT_FLOAT_EQ(findShear(rising), -0.04f);

	// Every shear gathers a single column equally: the most negative one is kept.
	Mask column = emptyMask(40, 12);
	for (int y = 0; y < 12; ++y)
		column.bits[size_t(y * 40 + 7)] = 1;
	EXPECT_FLOAT_EQ(findShear(column), -0.1f);

	// A flat row of 60: shears of -0.01 and 0 both move no pixel, the earlier is kept.
	Mask flat = emptyMask(60, 5);
	std::fill_n(flat.bits.begin() + 2 * 60, 60, uint8_t(1));
	EXPECT_FLOAT_EQ(findShear(flat), -0.01f);
}

TEST(ShearSearch, OffsetsAndLostPixels)
{
	struct Case {
		int x, width;
		float s;
		int d;
	} cases[] = {
		{0, 100, 0.1f, -5},  {99, 100, 0.1f, 5},  {55, 100, 0.1f, 1}, // 0.5 rounds away from zero
		{45, 100, 0.1f, -1}, {50, 100, -0.1f, 0}, {3, 7, 0.1f, 0},
	};
	for (const Case &c : cases)
		EXPECT_EQ(shearOffset(c.x, c.width, c.s), c.d) << c.x << " " << c.s;

	// Pixels pushed past the top or bottom row are lost, not wrapped.
	Mask m = emptyMask(100, 4);
	m.bits[0] = 1;                    // (0, 0) moves up by 5
	m.bits[size_t(3 * 100 + 99)] = 1; // (99, 3) moves down by 5
	const Mask sheared = shearMask(m, 0.1f);
	EXPECT_EQ(std::count(sheared.bits.begin(), sheared.bits.end(), uint8_t(1)), 0);
}

TEST(ShearSearch, MeasuresWithoutShearingAsTheShearedMaskGives)
{
	// Bars of scattered and slanted pixels, odd and even widths, pixels pushed off either edge.
	struct Case {
		int width, height;
		float slope;
	} cases[] = {{98, 30, 0.07f}, {61, 9, -0.1f}, {200, 12, 0.03f}, {13, 40, 0.f}, {1, 5, 0.05f}};
	uint32_t seed = 12345;
	auto random = [&seed] {
		seed = seed * 1664525u + 1013904223u;
		return seed >> 8;
	};
	for (const Case &c : cases) {
		Mask m = emptyMask(c.width, c.height);
		for (int x = 0; x < c.width; ++x)
			for (int y = 0; y < c.height; ++y) {
				const bool onBar =
					std::abs(y - c.height / 2 - int(std::lround((x - c.width / 2) * c.slope))) <= 2;
				m.bits[size_t(y * c.width + x)] = uint8_t(random() % 8 < (onBar ? 7u : 1u));
			}
		const ShearedRows rows(m);
		std::vector<int32_t> counts;
		for (int k = -12; k <= 12; ++k) {
			const float s = float(k) * 0.01f + (k % 3 == 0 ? 0.f : 0.0037f);
			const Mask sheared = shearMask(m, s);
			rows.countAt(s, counts);
			std::vector<int32_t> expected(size_t(c.height), 0);
			for (int y = 0; y < c.height; ++y)
				for (int x = 0; x < c.width; ++x)
					expected[size_t(y)] += sheared.at(x, y);
			EXPECT_EQ(counts, expected) << c.width << " " << s;
			const RowBand band = findRowBand(sheared);
			EXPECT_EQ(shearedProfile(m, s, band), columnProfile(sheared, band)) << c.width << " " << s;
		}
		const ShearSearch searched = searchShear(rows);
		const RowBand band = findRowBand(shearMask(m, searched.shear));
		EXPECT_EQ(searched.band.first, band.first) << c.width;
		EXPECT_EQ(searched.band.last, band.last) << c.width;
		EXPECT_EQ(searched.band.peakCount, band.peakCount) << c.width;
	}
}

TEST(RowBand, GrowsWhileRowsHoldSixtyPercent)
{
	auto rowsOf = [](std::initializer_list<int> counts) {
		Mask m = emptyMask(20, int(counts.size()));
		int y = 0;
		for (int c : counts) {
			for (int x = 0; x < c; ++x)
				m.bits[size_t(y * 20 + x)] = 1;
			++y;
		}
		return m;
	};
	struct Case {
		Mask mask;
		int first, last, peak;
	} cases[] = {
		{rowsOf({0, 3, 6, 10, 7, 5, 6, 0}), 2, 4, 10}, // 6 of 10 is enough, 5 is not
		{rowsOf({10, 0, 10}), 0, 0, 10},               // the first fullest row is the peak
		{rowsOf({9, 9, 9, 9}), 0, 3, 9},
		{rowsOf({0, 0, 0}), 0, 2, 0},
		{rowsOf({2, 3, 2}), 0, 2, 3},
		{rowsOf({10, 2, 9, 10, 9, 10}), 2, 5, 10}, // a row as full as the cells, cut off by a thin line
	};
	for (const Case &c : cases) {
		const RowBand band = findRowBand(c.mask);
		EXPECT_EQ(band.first, c.first);
		EXPECT_EQ(band.last, c.last);
		EXPECT_EQ(band.peakCount, c.peak);
	}
}

TEST(ColumnProfile, CountsOnlyBandRowsAndThreshold)
{
	const Mask m = maskOf({"####....", "#.#.#...", "#..##...", "########"});
	const std::vector<int32_t> p = columnProfile(m, RowBand{1, 2, 0});
	EXPECT_EQ(p, (std::vector<int32_t>{2, 0, 1, 1, 2, 0, 0, 0}));

	EXPECT_EQ(columnThreshold(RowBand{0, 13, 0}), 4);
	EXPECT_EQ(columnThreshold(RowBand{0, 8, 0}), 3);
	EXPECT_EQ(columnThreshold(RowBand{0, 4, 0}), 2);
	EXPECT_EQ(columnThreshold(RowBand{3, 3, 0}), 2);
}

TEST(Segments, RunsOfSixOrMore)
{
	struct Case {
		std::vector<int32_t> profile;
		std::vector<Segment> segments;
	} cases[] = {
		{profileOf({{0, 2}, {4, 6}, {0, 1}, {4, 5}, {0, 3}}), {{2, 7, 6}}}, // 5 columns are dropped
		{profileOf({{3, 4}, {4, 2}, {9, 1}}), {}},                          // 3 is below the threshold
		{profileOf({{5, 7}, {0, 1}, {4, 8}}), {{0, 6, 7}, {8, 15, 8}}},     // a run at either end
		{{}, {}},
	};
	for (const Case &c : cases)
		EXPECT_EQ(findSegments(c.profile, 4), c.segments);
}

TEST(SplitMergedCells, CutsAtTheDeepestInnerValley)
{
	// Two cells of 50 columns touching at one shallower column.
	const std::vector<int32_t> touching = profileOf({{14, 50}, {8, 1}, {14, 50}});
	const Segment merged{0, 100, 101};
	EXPECT_EQ(splitMergedCells({merged}, touching), (std::vector<Segment>{{0, 49, 50}, {51, 100, 50}}));

	// Two valleys of equal depth: the later one wins.
	const std::vector<int32_t> twoValleys = profileOf({{14, 40}, {8, 1}, {14, 40}, {8, 1}, {14, 40}});
	EXPECT_EQ(splitMergedCells({{0, 122, 123}}, twoValleys), (std::vector<Segment>{{0, 80, 81}, {82, 122, 41}}));

	// The deeper valley wins over a later shallow one.
	const std::vector<int32_t> deepFirst = profileOf({{14, 40}, {5, 1}, {14, 40}, {8, 1}, {14, 40}});
	EXPECT_EQ(splitMergedCells({{0, 122, 123}}, deepFirst), (std::vector<Segment>{{0, 39, 40}, {41, 122, 82}}));

	// A valley inside the margin (8 columns, or a sixth of the length) is not looked at.
	const std::vector<int32_t> nearEdge = profileOf({{14, 7}, {5, 1}, {14, 80}});
	EXPECT_EQ(splitMergedCells({{0, 87, 88}}, nearEdge), (std::vector<Segment>{{0, 87, 88}}));

	// Flat: no valley, the segment stays whole.
	const std::vector<int32_t> flat = profileOf({{14, 100}});
	EXPECT_EQ(splitMergedCells({{0, 99, 100}}, flat), (std::vector<Segment>{{0, 99, 100}}));

	// A peak between two lower plateaus is passed over, and so is a column no lower than both sides.
	const std::vector<int32_t> step = profileOf({{10, 45}, {12, 45}});
	EXPECT_EQ(splitMergedCells({{0, 89, 90}}, step), (std::vector<Segment>{{0, 89, 90}}));

	// Columns of 999 and more are never taken as a valley.
	const std::vector<int32_t> tall = profileOf({{1500, 50}, {1000, 1}, {1500, 50}});
	EXPECT_EQ(splitMergedCells({{0, 100, 101}}, tall), (std::vector<Segment>{{0, 100, 101}}));
	const std::vector<int32_t> tallTie = profileOf({{1500, 50}, {999, 1}, {1500, 50}});
	EXPECT_EQ(splitMergedCells({{0, 100, 101}}, tallTie).size(), 2u);
}

TEST(SplitMergedCells, WhichSegmentsAreCandidates)
{
	// Cells of 30 columns: one merged pair of 61 is long enough next to them (5 * 61 >= 9 * 30).
	std::vector<int32_t> p = profileOf({{14, 30}, {0, 5}, {14, 30}, {8, 1}, {14, 30}, {0, 5}, {14, 30}});
	const std::vector<Segment> segs = {{0, 29, 30}, {35, 95, 61}, {101, 130, 30}};
	EXPECT_EQ(splitMergedCells(segs, p),
		  (std::vector<Segment>{{0, 29, 30}, {35, 64, 30}, {66, 95, 30}, {101, 130, 30}}));

	// Next to cells of 40, 61 columns is not long enough (5 * 61 < 9 * 40) and stays whole.
	p = profileOf({{14, 40}, {0, 5}, {14, 30}, {8, 1}, {14, 30}, {0, 5}, {14, 40}});
	const std::vector<Segment> wide = {{0, 39, 40}, {45, 105, 61}, {111, 150, 40}};
	EXPECT_EQ(splitMergedCells(wide, p), wide);

	// With a second length below 20 only a length of 80 makes a candidate.
	p = profileOf({{14, 39}, {8, 1}, {14, 39}, {0, 5}, {14, 10}});
	const std::vector<Segment> shortOnes = {{0, 78, 79}, {84, 93, 10}};
	EXPECT_EQ(splitMergedCells(shortOnes, p), shortOnes);
}

TEST(PlateWidth, UpperMedianOfTheLongOnes)
{
	auto segs = [](std::initializer_list<int> lengths) {
		std::vector<Segment> out;
		int x = 0;
		for (int l : lengths) {
			out.push_back({x, x + l - 1, l});
			x += l + 5;
		}
		return out;
	};
	struct Case {
		std::vector<Segment> segments;
		int w;
	} cases[] = {
		{segs({60, 60, 30}), 60}, {segs({40, 10}), 40}, // 10 is below 40 % of 40
		{segs({20, 50}), 50},     {segs({20, 50, 21}), 21}, {segs({}), 0}, {segs({7}), 7},
	};
	for (const Case &c : cases)
		EXPECT_EQ(plateWidth(c.segments), c.w);
}

TEST(ScorePlates, OnlyTheLastFilledCellCanBeHalf)
{
	// Band of 10 rows, cells of w = 20 columns 5 apart; the profile sets each cell's fill.
	auto bar = [](std::initializer_list<double> fills) {
		std::pair<std::vector<int32_t>, std::vector<Segment>> out;
		for (double f : fills) {
			const int x = int(out.first.size());
			out.first.insert(out.first.end(), 20, int32_t(std::lround(f * 10)));
			out.first.insert(out.first.end(), 5, 0);
			out.second.push_back({x, x + 19, 20});
		}
		return out;
	};
	struct Case {
		std::initializer_list<double> fills;
		float sum;
		int scored;
		int lastFilled;
	} cases[] = {
		{{1, 1, 1}, 3.f, 3, 2},   {{1, 1, 0.5}, 2.5f, 3, 2}, {{0.5, 1}, 2.f, 2, 1},  {{0.5, 0.5}, 1.5f, 2, 1},
		{{1, 0.2, 1}, 2.f, 2, 2}, {{1, 0.2}, 1.f, 1, 0},     {{0.3, 0}, 0.5f, 1, 0}, {{0.7}, 1.f, 1, 0},
		{{0.2, 0.1}, 0.f, 0, -1}, {{1, 1, 1, 1}, 4.f, 4, 3},
	};
	for (const Case &c : cases) {
		const auto [profile, segments] = bar(c.fills);
		const PlateScore s = scorePlates(segments, profile, 20, 10);
		EXPECT_EQ(s.sum, c.sum);
		EXPECT_EQ(s.scored, c.scored);
		EXPECT_EQ(s.lastFilled, c.lastFilled);
	}

	// The fill is taken over w columns from the segment's first, whatever its own length.
	const std::vector<int32_t> p = profileOf({{10, 10}, {0, 10}});
	EXPECT_EQ(scorePlates({{0, 9, 10}}, p, 20, 10).sum, 0.5f);
	EXPECT_EQ(scorePlates({{0, 9, 10}}, p, 10, 10).sum, 1.f);
	// ... stopping at the image's edge, still divided by w columns: 100 of 300, then 100 of 400.
	EXPECT_EQ(scorePlates({{10, 19, 10}}, profileOf({{0, 10}, {10, 10}}), 30, 10).sum, 0.5f);
	EXPECT_EQ(scorePlates({{10, 19, 10}}, profileOf({{0, 10}, {10, 10}}), 40, 10).sum, 0.f);
	EXPECT_EQ(scorePlates({{0, 9, 10}}, p, 0, 10).sum, 0.f);
}

TEST(TailProbe, CountsACellPastTheLastSegment)
{
	// Last filled segment ends at column 29; the probe looks at columns 31 .. 30 + w.
	auto tail = [](int litColumns, int total) {
		std::vector<int32_t> p = profileOf({{10, 30}, {0, 1}, {10, litColumns}});
		p.resize(size_t(total), 0);
		return p;
	};
	struct Case {
		std::vector<int32_t> profile;
		int w;
		float add;
	} cases[] =
		{
			{tail(20, 80), 20, 1.f},    {tail(14, 80), 20, 1.f}, {tail(13, 80), 20, 0.5f},
			{tail(6, 80), 20, 0.5f},    {tail(5, 80), 20, 0.f},  {tail(0, 80), 20, 0.f},
			{tail(4, 4 + 31), 20, 1.f}, // cut off by the edge: 4 of 4 examined are lit
			{tail(0, 31), 20, 0.f},     // nothing past the segment
			{tail(20, 80), 4, 0.f},     // too narrow to probe
		};
	for (const Case &c : cases)
		EXPECT_EQ(tailProbe(c.profile, 29, c.w, 4), c.add) << c.profile.size() << " " << c.w;
}

TEST(CountPlates, GuardsAndEmptyBars)
{
	std::vector<uint8_t> pixels(size_t(40) * 20 * 4, 0);
	struct Case {
		int w, h;
		bool found;
	} cases[] = {{11, 8, false}, {12, 7, false}, {12, 8, true}, {40, 20, true}};
	for (const Case &c : cases) {
		const PlateCount r = countPlates(RgbaCrop{pixels.data(), c.w, c.h, c.w * 4});
		EXPECT_EQ(r.found, c.found) << c.w << "x" << c.h;
		EXPECT_EQ(r.count, 0.f);
	}
	EXPECT_FALSE(countPlates(RgbaCrop{nullptr, 40, 20, 160}).found);

	// Seven blue pixels are not enough to look for cells; a fullest row of 3 is not either.
	auto withBlue = [&](std::initializer_list<std::pair<int, int>> at) {
		std::vector<uint8_t> img(size_t(40) * 20 * 4, 0);
		for (const auto &[x, y] : at) {
			uint8_t *p = img.data() + (size_t(y) * 40 + size_t(x)) * 4;
			p[0] = 40;
			p[1] = 150;
			p[2] = 230;
		}
		return countPlates(RgbaCrop{img.data(), 40, 20, 160});
	};
	const PlateCount seven = withBlue({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}});
	EXPECT_TRUE(seven.found);
	EXPECT_EQ(seven.count, 0.f);
	const PlateCount scattered =
		withBlue({{1, 1}, {9, 1}, {20, 1}, {1, 5}, {9, 5}, {20, 5}, {1, 9}, {9, 9}, {20, 9}});
	EXPECT_TRUE(scattered.found);
	EXPECT_EQ(scattered.count, 0.f);
}
