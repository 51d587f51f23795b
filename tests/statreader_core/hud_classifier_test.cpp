#include "hud_test_frames.h"

#include "statreader/hud_classifier.h"
#include "statreader/hud_classifier_internal.h"
#include "statreader/hud_templates.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <string>

using namespace ostrelo;
using namespace ostrelo::hud;
using ostrelo::test::Rgb;
using ostrelo::test::TestFrame;

namespace {

std::string stateName(int32_t s)
{
	return hudStateName(s);
}

// A deterministic grey picture with texture everywhere, for template searches.
GrayImage noiseImage(int32_t w, int32_t h)
{
	GrayImage img(w, h);
	uint32_t seed = 12345;
	for (uint8_t &p : img.pixels) {
		seed = seed * 1103515245u + 12345u;
		p = uint8_t(40 + (seed >> 16) % 160);
	}
	return img;
}

// A bright elliptic blob on grey: one pixel off, it still correlates strongly.
std::vector<uint8_t> smoothBlob(int32_t w, int32_t h)
{
	std::vector<uint8_t> px(size_t(w) * size_t(h));
	for (int32_t i = 0; i < h; ++i)
		for (int32_t j = 0; j < w; ++j) {
			const double dx = (j - (w - 1) / 2.0) / (w / 3.0), dy = (i - (h - 1) / 2.0) / (h / 3.0);
			px[size_t(i * w + j)] = uint8_t(30 + 200 * std::exp(-(dx * dx + dy * dy)));
		}
	return px;
}

void paste(GrayImage &img, const ScaledTemplate &t, int32_t x, int32_t y, bool inverted = false)
{
	for (int32_t i = 0; i < t.height; ++i)
		for (int32_t j = 0; j < t.width; ++j) {
			const uint8_t v = t.pixels[size_t(i) * size_t(t.width) + size_t(j)];
			img.at(x + j, y + i) = inverted ? uint8_t(255 - v) : v;
		}
}

} // namespace

TEST(HudStateNames, EveryStateAndOutOfRangeValues)
{
	const struct {
		int32_t state;
		const char *name;
	} cases[] = {
		{kHudUnknown, "unknown"},
		{kHudMenu, "menu"},
		{kHudInMatch, "in-match"},
		{kHudDowned, "downed"},
		{kHudSpectating, "spectating"},
		{kHudPlacementCard, "placement-card"},
		{kHudAfterAction, "after-action"},
		{7, "unknown"},
		{-1, "unknown"},
		{INT32_MIN, "unknown"},
		{INT32_MAX, "unknown"},
	};
	for (const auto &c : cases)
		EXPECT_EQ(stateName(c.state), c.name) << c.state;
}

TEST(HudBoxes, FractionsRoundInSinglePrecisionAndClamp)
{
	const struct {
		FractionBox box;
		int32_t w, h;
		PixelBox expect;
	} cases[] = {
		{kTopLeftDetailBox, 1920, 1080, {35, 43, 323, 292}},
		{kCounterStripBox, 1920, 1080, {1718, 80, 1882, 102}},
		{kPlatesBarBox, 1920, 1080, {69, 959, 290, 999}},
		{kCentreBox, 1920, 1080, {230, 432, 1286, 648}},
		{kTopLeftDetailBox, 1280, 720, {23, 29, 215, 194}},
		{kCounterStripBox, 1280, 720, {1146, 53, 1254, 68}},
		{kPlatesBarBox, 1280, 720, {46, 639, 193, 666}},
		{kCentreBox, 1280, 720, {154, 288, 858, 432}},
		{{0.125f, 0.125f, 0.25f, 0.25f}, 20, 20, {3, 3, 8, 8}},   // 2.5 rounds away from zero
		{{-0.5f, -0.1f, 2.0f, 0.5f}, 100, 50, {0, 0, 100, 20}},   // clamped to the frame
		{{0.9f, 0.9f, 0.5f, 0.5f}, 100, 100, {90, 90, 100, 100}}, // clipped at the far edges
		{{0.0f, 0.0f, 0.001f, 0.001f}, 100, 100, {0, 0, 0, 0}},   // rounds to nothing
	};
	for (const auto &c : cases) {
		const PixelBox b = toPixelBox(c.box, c.w, c.h);
		EXPECT_EQ(b, c.expect) << c.box.x << "," << c.box.y << " on " << c.w << "x" << c.h << ": got " << b.x0
				       << "," << b.y0 << "-" << b.x1 << "," << b.y1;
	}
}

TEST(HudClassifierImage, ReductionFactorAndSize)
{
	const struct {
		int32_t w, h, d, rw, rh;
	} cases[] = {
		{1920, 1080, 4, 480, 270}, {1280, 720, 2, 640, 360},  {854, 480, 1, 854, 480},
		{3840, 2160, 8, 480, 270}, {2560, 1440, 5, 512, 288}, {1000, 539, 1, 1000, 539},
		{1000, 540, 2, 500, 270},  {1001, 809, 2, 500, 404},  {64, 64, 1, 64, 64},
		{803, 811, 3, 267, 270},
	};
	for (const auto &c : cases) {
		EXPECT_EQ(classifierFactor(c.h), c.d) << c.h;
		TestFrame f(c.w, c.h, Rgb{10, 20, 30});
		const GrayImage img = classifierImage(f.view(), classifierFactor(c.h));
		EXPECT_EQ(img.width, c.rw) << c.w << "x" << c.h;
		EXPECT_EQ(img.height, c.rh) << c.w << "x" << c.h;
		EXPECT_TRUE(img.wellFormed());
	}
}

TEST(HudClassifierImage, BlockMeansOfLumaWithIntegerDivision)
{
	// Luma first, then the mean: pure red, green, blue and white give 76, 149, 28 and 255.
	TestFrame f(8, 6, Rgb{0, 0, 0});
	f.fill(0, 0, 2, 2, Rgb{255, 0, 0});
	f.fill(2, 0, 4, 2, Rgb{0, 255, 0});
	f.fill(4, 0, 6, 2, Rgb{0, 0, 255});
	f.fill(6, 0, 8, 2, Rgb{255, 255, 255});
	// A block of 10, 11, 11, 11: mean 10.75 truncates to 10.
	f.fill(0, 2, 2, 4, Rgb{11, 11, 11});
	f.set(0, 2, Rgb{10, 10, 10});
	// A block that straddles the unused last row and column of an odd-sized frame.
	const GrayImage img = classifierImage(f.view(), 2);
	ASSERT_EQ(img.width, 4);
	ASSERT_EQ(img.height, 3);
	EXPECT_EQ(img.at(0, 0), 76);
	EXPECT_EQ(img.at(1, 0), 149);
	EXPECT_EQ(img.at(2, 0), 28);
	EXPECT_EQ(img.at(3, 0), 255);
	EXPECT_EQ(img.at(0, 1), 10);
	EXPECT_EQ(img.at(1, 1), 0);

	TestFrame odd(5, 5, Rgb{0, 0, 0});
	odd.fill(4, 0, 5, 5, Rgb{255, 255, 255}); // the fifth column is not part of any 2x2 block
	odd.fill(0, 4, 5, 5, Rgb{255, 255, 255}); // nor is the fifth row
	const GrayImage small = classifierImage(odd.view(), 2);
	ASSERT_EQ(small.width, 2);
	ASSERT_EQ(small.height, 2);
	for (uint8_t p : small.pixels)
		EXPECT_EQ(p, 0);
}

TEST(HudClassifierImage, PaddedRowsAreNotRead)
{
	// The padding of every row is bright; a reduction that ran past the row would show it.
	TestFrame tight(1920, 1080, Rgb{0, 0, 0});
	TestFrame padded(1920, 1080, Rgb{0, 0, 0}, 256);
	ostrelo::test::drawMatchFrame(tight);
	ostrelo::test::drawMatchFrame(padded);
	EXPECT_EQ(classifierImage(tight.view(), 4).pixels, classifierImage(padded.view(), 4).pixels);
	EXPECT_EQ(padded.classify(), kHudInMatch);
	ostrelo::test::drawWarmBand(padded, 16, 10);
	EXPECT_EQ(padded.classify(), kHudDowned);
}

TEST(HudMeasures, TopLeftDetailIsVarianceAbove900)
{
	// Two lumas a +- k apart in equal shares have a variance of k^2.
	const struct {
		uint8_t lo, hi;
		bool detail;
	} cases[] = {
		{100, 100, false},
		{70, 130, false}, // variance exactly 900
		{69, 131, true},  // 961
		{0, 255, true},
	};
	for (const auto &c : cases) {
		TestFrame f(1920, 1080, Rgb{c.lo, c.lo, c.lo});
		const PixelBox b = f.box(kTopLeftDetailBox);
		// Alternate columns: the box is 288 columns wide, so the shares are equal.
		for (int32_t x = b.x0; x < b.x1; x += 2)
			f.fill(x, b.y0, x + 1, b.y1, Rgb{c.hi, c.hi, c.hi});
		EXPECT_EQ(topLeftDetail(f.view()), c.detail) << int(c.lo) << "/" << int(c.hi);
	}
}

TEST(HudMeasures, CounterStripGroupsAndInk)
{
	// Strip at 1080 lines: columns 1718..1881, rows 80..101 (area 3608: ink must be 73..1803).
	struct Bar {
		int32_t x0, x1, y0, y1;
	};
	const struct {
		const char *what;
		std::vector<Bar> bars;
		bool holds;
	} cases[] = {
		{"nothing", {}, false},
		{"one group", {{1730, 1760, 84, 98}}, false},
		{"two groups", {{1730, 1745, 84, 98}, {1790, 1805, 84, 98}}, true},
		{"four groups",
		 {{1720, 1730, 84, 98}, {1750, 1760, 84, 98}, {1790, 1800, 84, 98}, {1830, 1840, 84, 98}},
		 true},
		{"five groups",
		 {{1720, 1730, 84, 98},
		  {1750, 1760, 84, 98},
		  {1790, 1800, 84, 98},
		  {1820, 1830, 84, 98},
		  {1850, 1860, 84, 98}},
		 false},
		// Columns with one bright pixel each do not form groups.
		{"one pixel per column", {{1720, 1760, 85, 86}, {1800, 1840, 85, 86}}, false},
		{"two pixels per column", {{1720, 1760, 85, 87}, {1800, 1840, 85, 87}}, true},
		// Two groups of 3 columns x 12 rows: 72 bright pixels, not more than area / 50.
		{"too little ink", {{1730, 1733, 85, 97}, {1800, 1803, 85, 97}}, false},
		{"just enough ink", {{1730, 1733, 85, 97}, {1800, 1803, 85, 98}}, true},
		// 1804 bright pixels are half the strip, 1803 are less.
		{"half the strip", {{1718, 1759, 80, 102}, {1800, 1841, 80, 102}}, false},
		{"just under half", {{1718, 1759, 80, 102}, {1800, 1840, 80, 102}, {1840, 1841, 80, 101}}, true},
		// Two wide blocks covering more than half the strip.
		{"too much ink", {{1718, 1800, 80, 102}, {1802, 1882, 80, 102}}, false},
	};
	for (const auto &c : cases) {
		TestFrame f(1920, 1080, Rgb{30, 30, 30});
		for (const Bar &b : c.bars)
			f.fill(b.x0, b.y0, b.x1, b.y1, Rgb{255, 255, 255});
		EXPECT_EQ(counterStrip(f.view()), c.holds) << c.what;
	}
}

TEST(HudMeasures, CounterStripBrightnessThreshold)
{
	// Luma 140 is bright, 139 is not (77 R + 150 G + 29 B must exceed 35839).
	for (const auto &[grey, holds] : {std::pair<uint8_t, bool>{140, true}, {139, false}}) {
		TestFrame f(1920, 1080, Rgb{0, 0, 0});
		f.fill(1730, 84, 1745, 98, Rgb{grey, grey, grey});
		f.fill(1790, 84, 1805, 98, Rgb{grey, grey, grey});
		EXPECT_EQ(counterStrip(f.view()), holds) << int(grey);
	}
}

TEST(HudMeasures, BarWarmthFindsAThinWarmBand)
{
	const struct {
		int32_t rows, warmPerRow;
		int32_t expect;
	} cases[] = {
		{16, 10, 160},                         // the tallest band that counts
		{17, 10, 0},                           // taller than a downed bar
		{1, 6, 6},     {1, 5, 0},              // fewer than 6 warm pixels do not make a warm row
		{8, 12, 96},   {0, 0, 0}, {40, 10, 0}, // the whole box warm
	};
	for (const auto &c : cases) {
		for (const auto &[w, h] : {std::pair{1920, 1080}, {1280, 720}}) {
			TestFrame f(w, h, Rgb{20, 20, 20});
			if (c.rows > 0)
				ostrelo::test::drawWarmBand(f, c.rows, c.warmPerRow, c.rows > 30 ? 0 : 4);
			EXPECT_EQ(barWarmth(f.view()), c.expect) << c.rows << " rows x " << c.warmPerRow << " at " << h;
		}
	}
}

TEST(HudMeasures, BarWarmthKeepsTheBestRunAndItsLength)
{
	TestFrame f(1920, 1080, Rgb{20, 20, 20});
	// A short hot run (3 rows x 30 = 90), a gap, then a longer mild run (12 x 7 = 84): the
	// best sum wins. Then make the later run longer than 16 rows: its sum grows past the
	// first but its length disqualifies the whole measure.
	ostrelo::test::drawWarmBand(f, 3, 30, 2);
	ostrelo::test::drawWarmBand(f, 12, 7, 8);
	EXPECT_EQ(barWarmth(f.view()), 90);
	ostrelo::test::drawWarmBand(f, 20, 7, 8);
	EXPECT_EQ(barWarmth(f.view()), 0);

	// Warm means R > 160, 31 <= G <= 139, B < 80 and R > G + 40.
	const struct {
		Rgb c;
		bool warm;
	} colours[] = {
		{{225, 85, 30}, true},  {{160, 85, 30}, false},  {{161, 30, 30}, false}, {{161, 31, 79}, true},
		{{225, 139, 30}, true}, {{225, 140, 30}, false}, {{225, 85, 80}, false}, {{180, 140, 0}, false},
		{{180, 139, 0}, true},  {{179, 139, 0}, false},
	};
	for (const auto &c : colours) {
		TestFrame g(1920, 1080, Rgb{20, 20, 20});
		const PixelBox b = g.box(kPlatesBarBox);
		g.fill(b.x0, b.y0 + 5, b.x0 + 10, b.y0 + 6, c.c);
		EXPECT_EQ(barWarmth(g.view()), c.warm ? 10 : 0) << int(c.c.r) << "," << int(c.c.g) << "," << int(c.c.b);
	}
}

TEST(HudMeasures, CentreBrightCountsLumaOf200AndMore)
{
	const struct {
		uint8_t grey;
		int32_t expect;
	} cases[] = {{200, 5000}, {199, 0}, {255, 5000}};
	for (const auto &c : cases) {
		TestFrame f(1920, 1080, Rgb{0, 0, 0});
		f.fill(400, 500, 500, 550, Rgb{c.grey, c.grey, c.grey}); // 100 x 50 inside the centre box
		f.fill(0, 0, 100, 100, Rgb{255, 255, 255});              // outside it
		EXPECT_EQ(centreBright(f.view()), c.expect) << int(c.grey);
	}
}

TEST(HudTemplates, ScaledSizesFollowTheFrameHeight)
{
	struct Size {
		int32_t w, h;
	};
	const struct {
		int32_t height;
		Size sizes[kHudTemplateCount];
	} cases[] = {
		{1080, {{84, 10}, {45, 22}, {38, 7}, {78, 6}, {138, 19}, {208, 40}}},
		{720, {{111, 13}, {60, 29}, {50, 9}, {103, 8}, {184, 25}, {277, 53}}},
		{2160, {{84, 10}, {45, 22}, {38, 7}, {78, 6}, {138, 19}, {208, 40}}},
		// 1079, not 1080: at 480 and 1440 lines a divisor of 1080 gives 148 and 221.
		{480, {{149, 18}, {80, 39}, {67, 12}, {138, 10}, {245, 33}, {369, 71}}},
		{1440, {{89, 11}, {48, 23}, {40, 7}, {83, 6}, {147, 20}, {222, 43}}},
		// Tiny frames: widths below 9 become 8, heights below 7 become 6.
		{64, {{20, 6}, {11, 6}, {9, 6}, {18, 6}, {33, 6}, {49, 9}}},
	};
	for (const auto &c : cases) {
		for (int id = 0; id < kHudTemplateCount; ++id) {
			const ScaledTemplate t =
				scaleTemplate(kHudTemplateDefs[size_t(id)], kHudTemplatePixels[size_t(id)].pixels,
					      c.height, classifierFactor(c.height));
			EXPECT_EQ(t.width, c.sizes[id].w) << kHudTemplateDefs[size_t(id)].name << " at " << c.height;
			EXPECT_EQ(t.height, c.sizes[id].h) << kHudTemplateDefs[size_t(id)].name << " at " << c.height;
			EXPECT_EQ(t.pixels.size(), size_t(t.width) * size_t(t.height));
		}
	}
	// Heights below 9 x 7 stay at 8 x 6, never at the computed 1 or 2.
	const HudTemplateDef tiny{"tiny", 4, 4, 20, 20, 0.5f, 0.5f, 0.05f, false};
	const uint8_t px[16] = {};
	const ScaledTemplate t = scaleTemplate(tiny, px, 270, 1);
	EXPECT_EQ(t.width, 8);
	EXPECT_EQ(t.height, 6);
}

TEST(HudTemplates, NearestSamplingAtPixelCentres)
{
	// A 4 x 3 table scaled to 8 x 6 doubles every pixel; to its own size it is unchanged.
	const uint8_t stored[12] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110};
	const HudTemplateDef def{"t", 4, 3, 8, 6, 0.5f, 0.5f, 0.05f, false};
	const ScaledTemplate t = scaleTemplate(def, stored, 1079, 1);
	ASSERT_EQ(t.width, 8);
	ASSERT_EQ(t.height, 6);
	for (int32_t i = 0; i < 6; ++i)
		for (int32_t j = 0; j < 8; ++j)
			EXPECT_EQ(t.pixels[size_t(i * 8 + j)], stored[(i / 2) * 4 + j / 2]) << i << "," << j;
	// Sum and energy: 12 values 0..110 each twice twice: S = 4 * 660, E = sum t^2 - S^2 / N.
	EXPECT_EQ(t.sum, 4 * 660);
	double sq = 0;
	for (uint8_t v : stored)
		sq += 4.0 * v * v;
	EXPECT_NEAR(t.energy, sq - double(t.sum) * t.sum / 48.0, 0.01);

	// 4 -> 9 columns: column j takes stored column trunc((j + 0.5) * 4 / 9).
	const HudTemplateDef wide{"t", 4, 3, 27, 21, 0.5f, 0.5f, 0.05f, false};
	const ScaledTemplate w3 = scaleTemplate(wide, stored, 1079 / 3 + 1, 1);
	ASSERT_EQ(w3.width, 9);
	ASSERT_EQ(w3.height, 7);
	for (int32_t j = 0; j < 9; ++j)
		EXPECT_EQ(w3.pixels[size_t(j)], stored[size_t(std::trunc((j + 0.5) * 4 / 9))]) << j;
}

TEST(HudTemplates, CorrelationIsOneWhereTheTemplateWasPlaced)
{
	// Each built-in template, pasted into a noisy 1080p classifier image on the coarse grid
	// of its search (cx - r + 2i, cy - r/2 + 2j), scores 1; inverted, it scores -1 there.
	for (int id = 0; id < kHudTemplateCount; ++id) {
		const HudTemplateDef &def = kHudTemplateDefs[size_t(id)];
		const ScaledTemplate t = scaleTemplate(def, kHudTemplatePixels[size_t(id)].pixels, 1080, 4);
		const int32_t cx = int32_t(std::lroundf(480.f * def.x)), cy = int32_t(std::lroundf(270.f * def.y));
		const int32_t r = std::max(4, int32_t(std::lroundf(480.f * def.radius)));
		const struct {
			int32_t x, y;
			bool inverted;
		} cases[] = {
			{cx - r, cy - r / 2, false},
			{cx - r + 2 * (r / 2), cy - r / 2 + 2 * (r / 4), false}, // the middle of the grid
			{cx - r + 2 * (r / 2), cy - r / 2 + 2 * (r / 4), true},
		};
		for (const auto &c : cases) {
			GrayImage img = noiseImage(480, 270);
			const int32_t x = c.x, y = c.y;
			ASSERT_TRUE(x >= 0 && y >= 0 && x + t.width <= 480 && y + t.height <= 270) << def.name;
			paste(img, t, x, y, c.inverted);
			EXPECT_NEAR(correlationAt(img, t, x, y), c.inverted ? -1.f : 1.f, 1e-4f) << def.name;
			const float s = templateScore(img, t, def);
			if (c.inverted) {
				EXPECT_LT(s, 0.6f) << def.name;
			} else {
				EXPECT_NEAR(s, 1.f, 1e-4f) << def.name << " at " << x << "," << y;
			}
		}
	}
}

TEST(HudTemplates, FineSearchReachesTheOddPositions)
{
	// A smooth blob still correlates well one pixel off, so the coarse search lands next to
	// it and the fine search finds it exactly, whichever way it is off the grid.
	HudTemplateDef def{"blob", 24, 12, 24, 12, 0.5f, 0.5f, 0.05f, false};
	const std::vector<uint8_t> stored = smoothBlob(24, 12);
	const ScaledTemplate t = scaleTemplate(def, stored.data(), 1079, 1);
	ASSERT_EQ(t.width, 24);
	ASSERT_EQ(t.height, 12);
	const int32_t cx = 240, cy = 135, r = 24; // coarse grid: x = 216 + 2i, y = 123 + 2j
	for (int32_t dy = -1; dy <= 1; ++dy)
		for (int32_t dx = -1; dx <= 1; ++dx) {
			GrayImage img = noiseImage(480, 270);
			const int32_t x = cx - r + 10 + dx, y = cy - r / 2 + 6 + dy;
			paste(img, t, x, y);
			EXPECT_NEAR(templateScore(img, t, def), 1.f, 1e-4f) << dx << "," << dy;
		}
}

TEST(HudTemplates, PositionsOutsideTheImageOrFlatScoreMinusOne)
{
	const HudTemplateDef &def = kHudTemplateDefs[kTemplateMenu];
	const ScaledTemplate t = scaleTemplate(def, kHudTemplatePixels[kTemplateMenu].pixels, 1080, 4);
	const GrayImage img = noiseImage(480, 270);
	EXPECT_EQ(correlationAt(img, t, -1, 10), -1.f);
	EXPECT_EQ(correlationAt(img, t, 10, -1), -1.f);
	EXPECT_EQ(correlationAt(img, t, 480 - t.width + 1, 10), -1.f);
	EXPECT_EQ(correlationAt(img, t, 10, 270 - t.height + 1), -1.f);
	EXPECT_GT(correlationAt(img, t, 480 - t.width, 270 - t.height), -1.f);
	const GrayImage flat(480, 270, 128);
	EXPECT_EQ(correlationAt(flat, t, 10, 10), -1.f);
	EXPECT_EQ(templateScore(flat, t, def), -1.f);
	// A flat template never correlates.
	ScaledTemplate blank = t;
	std::fill(blank.pixels.begin(), blank.pixels.end(), 7);
	blank.sum = 7 * int64_t(blank.pixels.size());
	blank.energy = 0.f;
	EXPECT_EQ(correlationAt(img, blank, 10, 10), -1.f);
	// An image smaller than the template.
	const GrayImage tiny = noiseImage(20, 20);
	EXPECT_EQ(templateScore(tiny, t, def), -1.f);
}

TEST(HudTemplates, SearchWindowIsBounded)
{
	// A smooth blob where the second after-action template is searched: found anywhere in
	// the coarse window and one step beyond it, not two steps beyond.
	const HudTemplateDef def{"blob", 45, 22, 45, 22, 0.104f, 0.196f, 0.04f, false};
	const std::vector<uint8_t> stored = smoothBlob(45, 22);
	const ScaledTemplate t = scaleTemplate(def, stored.data(), 1079, 1);
	ASSERT_EQ(t.width, 45);
	const int32_t cx = 50, cy = 53, r = 19; // lroundf(480 * 0.104), lroundf(270 * 0.196), lroundf(480 * 0.04)
	const struct {
		int32_t x, y;
		bool found;
	} cases[] = {
		{cx + r, cy, true},          {cx - r, cy, true},         {cx + r + 1, cy, true},
		{cx - r - 1, cy, true},      {cx + r + 3, cy, false},    {cx - r - 3, cy, false},
		{cx, cy + r / 2 + 1, true},  {cx, cy - r / 2 - 1, true}, {cx, cy + r / 2 + 3, false},
		{cx, cy - r / 2 - 3, false},
	};
	// Not found means: only a neighbouring position, two steps off, was scored.
	for (const auto &c : cases) {
		GrayImage img = noiseImage(480, 270);
		paste(img, t, c.x, c.y);
		const float s = templateScore(img, t, def);
		if (c.found) {
			EXPECT_GT(s, 0.999f) << c.x << "," << c.y;
		} else {
			EXPECT_LT(s, 0.99f) << c.x << "," << c.y;
		}
	}
}

// A dark frame with a bright card across the middle box: a placement card.
TestFrame cardFrame(int32_t w, int32_t h)
{
	TestFrame f(w, h, Rgb{15, 15, 15});
	f.fill(f.box(kCentreBox), Rgb{255, 255, 255});
	return f;
}

TEST(HudClassifier, GuardsGiveUnknown)
{
	TestFrame f = cardFrame(1920, 1080);
	ASSERT_EQ(f.classify(), kHudPlacementCard);
	EXPECT_EQ(classifyHudState(nullptr, 1920, 1080, 1920 * 4), kHudUnknown);
	EXPECT_EQ(classifyHudState(f.data(), 1920, 1080, 1920 * 4 - 1), kHudUnknown);
	EXPECT_EQ(classifyHudState(f.data(), 1920, 1080, 0), kHudUnknown);
	EXPECT_EQ(classifyHudState(f.data(), 63, 1080, 1920 * 4), kHudUnknown);
	EXPECT_EQ(classifyHudState(f.data(), 1920, 63, 1920 * 4), kHudUnknown);
	EXPECT_EQ(classifyHudState(f.data(), 0, 0, 1920 * 4), kHudUnknown);
	EXPECT_EQ(classifyHudState(f.data(), -64, 1080, 1920 * 4), kHudUnknown);
	// A width whose row length overflows 32 bits must not pass the line-size check.
	EXPECT_EQ(classifyHudState(f.data(), INT32_MAX, 1080, 1920 * 4), kHudUnknown);
	EXPECT_EQ(classifyHudState(f.data(), 1073741825, 1080, 4), kHudUnknown);

	// 64 columns or rows are enough: the card is a card again.
	TestFrame narrow = cardFrame(64, 1080);
	EXPECT_EQ(narrow.classify(), kHudPlacementCard);
	EXPECT_EQ(classifyHudState(narrow.data(), 63, 1080, narrow.lineSize()), kHudUnknown);
	TestFrame low = cardFrame(1920, 64);
	EXPECT_EQ(low.classify(), kHudPlacementCard);
	EXPECT_EQ(classifyHudState(low.data(), 1920, 63, low.lineSize()), kHudUnknown);
}

TEST(HudClassifier, UniformFramesAreUnknown)
{
	// However bright: a frame all one colour is a flash or a white-out, not a card.
	const Rgb colours[] = {{0, 0, 0},       {100, 100, 100}, {199, 199, 199}, {225, 85, 30}, {200, 200, 200},
			       {255, 255, 255}, {255, 255, 128}, {255, 255, 0},   {255, 0, 255}};
	for (const Rgb &c : colours) {
		for (const auto &[w, h] : {std::pair{1920, 1080}, {1280, 720}, {640, 360}}) {
			TestFrame f(w, h, c);
			HudEvidence e(f.view());
			for (int id = 0; id < kHudTemplateCount; ++id)
				EXPECT_EQ(e.score(HudTemplateId(id)), -1.f) << kHudTemplateDefs[size_t(id)].name;
			EXPECT_EQ(f.classify(), kHudUnknown)
				<< int(c.r) << "," << int(c.g) << "," << int(c.b) << " at " << h;
		}
	}
}

TEST(HudClassifier, MatchFramesAreInMatchOrDowned)
{
	const struct {
		int32_t w, h;
		int32_t bandRows, warmPerRow;
		int32_t expect;
	} cases[] = {
		{1920, 1080, 0, 0, kHudInMatch}, {1920, 1080, 16, 10, kHudDowned}, {1920, 1080, 17, 10, kHudInMatch},
		{1920, 1080, 8, 10, kHudDowned}, {1920, 1080, 7, 11, kHudInMatch}, // 77 < 80
		{1280, 720, 0, 0, kHudInMatch},  {1280, 720, 16, 10, kHudDowned},  {1280, 720, 17, 10, kHudInMatch},
		{3840, 2160, 0, 0, kHudInMatch}, {3840, 2160, 16, 10, kHudDowned},
	};
	for (const auto &c : cases) {
		TestFrame f(c.w, c.h, Rgb{0, 0, 0});
		ostrelo::test::drawMatchFrame(f);
		if (c.bandRows > 0)
			ostrelo::test::drawWarmBand(f, c.bandRows, c.warmPerRow);
		EXPECT_EQ(stateName(f.classify()), stateName(c.expect))
			<< c.w << "x" << c.h << " band " << c.bandRows << "x" << c.warmPerRow;
	}
}

TEST(HudClassifier, HalfAHudIsNotAMatch)
{
	// The world is flat where templates are searched, so nothing else can answer.
	const struct {
		bool detail, counters;
		int32_t expect;
	} cases[] = {
		{true, false, kHudUnknown}, // no counters: the menu rule, and no menu here
		{false, true, kHudUnknown}, // counters without the minimap
		{true, true, kHudDowned},
	};
	for (const auto &c : cases) {
		for (const auto &[w, h] : {std::pair{1920, 1080}, {1280, 720}}) {
			TestFrame f(w, h, Rgb{0, 0, 0});
			ostrelo::test::drawWorld(f);
			if (c.detail)
				ostrelo::test::drawTopLeftDetail(f);
			if (c.counters)
				ostrelo::test::drawCounters(f);
			ostrelo::test::drawWarmBand(f, 10, 20); // "downed" only with the whole HUD
			EXPECT_EQ(stateName(f.classify()), stateName(c.expect))
				<< c.detail << c.counters << " at " << h;
		}
	}
}

TEST(HudClassifier, BrightCardNeedsAPlainScreen)
{
	// A bright band across the middle box: a placement card by its brightness alone, unless
	// the top-left has detail or the counters show.
	const struct {
		bool detail, counters;
		int32_t expect;
	} cases[] = {
		{false, false, kHudPlacementCard},
		{true, false, kHudUnknown},
		{false, true, kHudUnknown},
		{true, true, kHudInMatch},
	};
	for (const auto &c : cases) {
		TestFrame f(1920, 1080, Rgb{15, 15, 15});
		f.fill(230, 432, 1290, 470, Rgb{250, 250, 250});
		if (c.detail)
			ostrelo::test::drawTopLeftDetail(f);
		if (c.counters)
			ostrelo::test::drawCounters(f);
		EXPECT_EQ(stateName(f.classify()), stateName(c.expect)) << c.detail << c.counters;
	}
	// 6000 bright pixels are not enough, 6001 are.
	for (const auto &[count, expect] : {std::pair{6000, kHudUnknown}, {6001, kHudPlacementCard}}) {
		TestFrame f(1920, 1080, Rgb{15, 15, 15});
		f.fill(232, 450, 1232, 450 + count / 1000, Rgb{255, 255, 255});
		f.fill(232, 450 + count / 1000, 232 + count % 1000, 451 + count / 1000, Rgb{255, 255, 255});
		ASSERT_EQ(centreBright(f.view()), count);
		EXPECT_EQ(stateName(f.classify()), stateName(expect)) << count;
	}
}

TEST(HudClassifier, BrightnessThatIsNoCardIsNoPlacementCard)
{
	// Frames of a match whose HUD is not recognised, with plenty of light in the middle: a
	// lamp or a window, or a world washed out by haze, snow or a flash. The card spans the
	// middle and stands on a plain screen.
	const struct {
		const char *what;
		hud::PixelBox bright[2];
		int32_t expect;
	} cases[] = {
		{"card across the middle", {{230, 500, 1290, 600}, {}}, kHudPlacementCard},
		{"card across half the middle", {{230, 500, 760, 600}, {}}, kHudPlacementCard},
		{"window in the middle", {{500, 440, 800, 640}, {}}, kHudUnknown},
		{"two windows", {{240, 440, 500, 640}, {1000, 440, 1260, 640}}, kHudUnknown},
		{"haze over everything", {{0, 0, 1920, 1080}, {}}, kHudUnknown},
		{"sky above a bright middle", {{0, 0, 1920, 300}, {230, 450, 1290, 640}}, kHudUnknown},
		{"a little light above the card", {{230, 500, 1290, 600}, {400, 230, 1290, 250}}, kHudPlacementCard},
	};
	for (const auto &c : cases) {
		TestFrame f(1920, 1080, Rgb{40, 42, 38});
		for (const hud::PixelBox &b : c.bright)
			f.fill(b, Rgb{235, 232, 225});
		EXPECT_EQ(stateName(f.classify()), stateName(c.expect)) << c.what;
	}
}

namespace {

// Evidence with chosen answers, to walk the decision rules one threshold at a time.
struct FixedEvidence {
	bool detail, counters;
	int32_t warmth, bright;
	std::array<float, kHudTemplateCount> scores; // after-action 1, 2, spectating 1, 2, menu, placement
	bool standsOut = true;

	bool topLeftDetail() const { return detail; }
	bool counterStrip() const { return counters; }
	bool hudPresent() const { return detail && counters; }
	int32_t barWarmth() const { return warmth; }
	int32_t centreBright() const { return bright; }
	bool cardStandsOut() const { return standsOut; }
	float score(HudTemplateId id) const { return scores[size_t(id)]; }
};

constexpr float no = -1.f;

} // namespace

TEST(HudDecision, RulesInOrderAndTheirThresholds)
{
	const struct {
		const char *what;
		FixedEvidence e;
		int32_t expect;
	} cases[] = {
		{"nothing", {false, false, 0, 0, {no, no, no, no, no, no}}, kHudUnknown},
		// 1: after-action
		{"header", {false, false, 0, 0, {0.71f, no, no, no, no, no}}, kHudAfterAction},
		{"header at 0.7", {false, false, 0, 0, {0.7f, no, no, no, no, no}}, kHudUnknown},
		{"panel", {false, false, 0, 0, {no, 0.71f, no, no, no, no}}, kHudAfterAction},
		{"panel, counters only", {false, true, 0, 0, {no, 0.71f, no, no, no, no}}, kHudAfterAction},
		{"panel with HUD", {true, true, 0, 0, {no, 0.71f, no, no, no, no}}, kHudInMatch},
		{"header beats placement", {false, false, 0, 0, {0.8f, no, no, no, no, 0.9f}}, kHudAfterAction},
		// 2: placement template
		{"placement", {false, false, 0, 0, {no, no, no, no, no, 0.71f}}, kHudPlacementCard},
		{"placement at 0.7", {false, false, 0, 0, {no, no, no, no, no, 0.7f}}, kHudUnknown},
		{"placement beats spectating", {false, false, 0, 0, {no, no, 0.9f, no, no, 0.71f}}, kHudPlacementCard},
		// 3: bright card on a plain screen
		{"bright card", {false, false, 0, 6001, {0.34f, no, no, no, 0.34f, no}}, kHudPlacementCard},
		{"6000 bright", {false, false, 0, 6000, {no, no, no, no, no, no}}, kHudUnknown},
		{"card, header 0.35", {false, false, 0, 9000, {0.35f, no, no, no, no, no}}, kHudUnknown},
		{"card, menu 0.35", {false, false, 0, 9000, {no, no, no, no, 0.35f, no}}, kHudUnknown},
		{"card, menu 0.46", {false, false, 0, 9000, {no, no, no, no, 0.46f, no}}, kHudMenu},
		{"card with detail", {true, false, 0, 9000, {no, no, no, no, no, no}}, kHudUnknown},
		{"card with counters", {false, true, 0, 9000, {no, no, no, no, no, no}}, kHudUnknown},
		{"card beats spectating", {false, false, 0, 9000, {no, no, 0.9f, no, no, no}}, kHudPlacementCard},
		{"bright, not a card", {false, false, 0, 9000, {no, no, no, no, no, no}, false}, kHudUnknown},
		// 4: spectating, whatever the HUD
		{"spectating header", {false, false, 0, 0, {no, no, 0.71f, no, no, no}}, kHudSpectating},
		{"spectating footer", {false, false, 0, 0, {no, no, no, 0.71f, no, no}}, kHudSpectating},
		{"spectating at 0.7", {false, false, 0, 0, {no, no, 0.7f, 0.7f, no, no}}, kHudUnknown},
		{"spectating with HUD", {true, true, 500, 0, {no, no, 0.71f, no, no, no}}, kHudSpectating},
		{"spectating beats menu", {false, false, 0, 0, {no, no, no, 0.8f, 0.9f, no}}, kHudSpectating},
		// 5: no counters
		{"menu", {false, false, 0, 0, {no, no, no, no, 0.46f, no}}, kHudMenu},
		{"menu at 0.45", {false, false, 0, 0, {no, no, no, no, 0.45f, no}}, kHudUnknown},
		{"menu with detail", {true, false, 0, 0, {no, no, no, no, 0.46f, no}}, kHudMenu},
		{"menu with counters", {false, true, 0, 0, {no, no, no, no, 0.9f, no}}, kHudUnknown},
		// 6 and 7: counters
		{"match", {true, true, 79, 0, {no, no, no, no, no, no}}, kHudInMatch},
		{"downed", {true, true, 80, 0, {no, no, no, no, no, no}}, kHudDowned},
		{"counters only", {false, true, 500, 0, {no, no, no, no, no, no}}, kHudUnknown},
	};
	for (const auto &c : cases) {
		FixedEvidence e = c.e;
		EXPECT_EQ(stateName(decideHudState(e)), stateName(c.expect)) << c.what;
	}
}

TEST(HudEvidence, WindowedReductionScoresLikeTheWholeImage)
{
	// The classifier reduces only the windows its searches read; the scores must be those of
	// a search over the whole reduced image.
	for (const auto &[w, h] : {std::pair{1920, 1080}, {1280, 720}, {854, 480}, {2560, 1440}, {300, 100}}) {
		TestFrame f(w, h, Rgb{0, 0, 0});
		uint32_t seed = uint32_t(w * 31 + h);
		for (int32_t y = 0; y < h; ++y)
			for (int32_t x = 0; x < w; ++x) {
				seed = seed * 1664525u + 1013904223u;
				// Blocks of 3 x 3 pixels so that the reduced image keeps some texture.
				const uint8_t v = uint8_t(((x / 3 * 7 + y / 3 * 13) * 2654435761u) >> 24);
				f.set(x, y, Rgb{v, uint8_t(v ^ (seed >> 28)), uint8_t(255 - v)});
			}
		f.fill(f.box(kCounterStripBox), Rgb{0, 0, 0}); // no HUD: every template is searched
		const int32_t d = classifierFactor(h);
		const GrayImage whole = classifierImage(f.view(), d);
		HudEvidence e(f.view());
		ASSERT_FALSE(e.hudPresent());
		for (int id = 0; id < kHudTemplateCount; ++id) {
			const HudTemplateDef &def = kHudTemplateDefs[size_t(id)];
			const ScaledTemplate t = scaleTemplate(def, kHudTemplatePixels[size_t(id)].pixels, h, d);
			EXPECT_EQ(e.score(HudTemplateId(id)), templateScore(whole, t, def))
				<< def.name << " at " << w << "x" << h;
		}
	}
}
