// End-to-end reads of synthetic plates bars: straight, tilted under a perspective, turned.

#include "bar_drawing.h"
#include "plates/plates_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

using namespace ostrelo;
using namespace platestest;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void expectPlates(const StatReading &r, float count, int value, const std::string &text)
{
	EXPECT_TRUE(r.ok);
	EXPECT_EQ(r.exactValue, count);
	EXPECT_EQ(r.value, value);
	EXPECT_EQ(r.text, text);
	EXPECT_EQ(r.digits, 1);
	EXPECT_FLOAT_EQ(r.confidence, 0.9f);
}

void expectNoReading(const StatReading &r)
{
	EXPECT_FALSE(r.ok);
	EXPECT_EQ(r.value, 0);
	EXPECT_EQ(r.digits, 0);
	EXPECT_EQ(r.confidence, 0.f);
	EXPECT_TRUE(r.text.empty());
	EXPECT_EQ(r.exactValue, 0.f);
}

BarLayout twoTouchingAndOne()
{
	// Cells one and two share columns 10..129 with a shallower column at 70 where they meet.
	BarLayout layout;
	layout.cells = {{10, 120, 1.0}, {146, 60, 1.0}};
	layout.dividers = {70};
	return layout;
}

} // namespace

TEST(ReadPlates, StraightBars)
{
	BarLayout four;
	four.width = 280;
	four.cells = {{4, 60, 1}, {72, 60, 1}, {140, 60, 1}, {208, 60, 1}};
	struct Case {
		const char *name;
		BarLayout layout;
		float count;
		int value;
		const char *text;
	} cases[] = {
		{"three lit cells", threeCells(1, 1, 1), 3.f, 3, "3"},
		{"two and a half", threeCells(1, 1, 0.5), 2.5f, 3, "2.5"},
		{"one and a half", threeCells(1, 0.5, 0), 1.5f, 2, "1.5"},
		{"two", threeCells(1, 1, 0), 2.f, 2, "2"},
		{"half-lit before a full one counts whole", threeCells(0.5, 1, 0), 2.f, 2, "2"},
		{"a sliver is no plate", threeCells(1, 0.2, 0), 1.f, 1, "1"},
		{"none lit", threeCells(0, 0, 0), 0.f, 0, "0"},
		{"four cells are still three", four, 3.f, 3, "3"},
		{"two touching cells and one", twoTouchingAndOne(), 3.f, 3, "3"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		const RgbaImage bar = drawBar(c.layout);
		expectPlates(readPlates(bar.view(), std::nullopt, 0.f), c.count, c.value, c.text);
	}
}

TEST(ReadPlates, HalfAndWholeCellsAtEveryBarSize)
{
	// Cell width, gap and height of the bar in 720p to 2160p captures, sharp and smeared.
	struct Size {
		const char *name;
		int cell, gap, height;
	} sizes[] = {{"720p", 41, 3, 7}, {"1080p", 62, 4, 10}, {"1440p", 83, 5, 13}, {"2160p", 124, 8, 20}};
	for (const Size &size : sizes)
		for (int halves = 1; halves <= 6; ++halves)
			for (const int smear : {0, 2}) {
				const float plates = float(halves) / 2.f;
				SCOPED_TRACE(std::string(size.name) + " " + std::to_string(plates) +
					     (smear ? " smeared" : ""));
				RgbaImage bar = drawBar(hudBar(size.cell, size.gap, size.height, plates));
				if (smear)
					bar = smeared(bar, smear);
				const StatReading r = readPlates(bar.view(), std::nullopt, 0.f);
				EXPECT_TRUE(r.ok);
				EXPECT_EQ(r.exactValue, plates);
			}
}

TEST(ReadPlates, OneLitRunWithNothingToMeasureItByIsNoReading)
{
	// A lit strip on the ground with no unlit cell or gap in sight could be a cell, half of
	// one or two touching cells.
	BarLayout strip;
	strip.cells = {{10, 120, 1.0}};
	expectNoReading(readPlates(drawBar(strip).view(), std::nullopt, 0.f));
}

TEST(ReadPlates, NoBlueIsAReadingOfZero)
{
	BarLayout ground;
	ground.cells.clear();
	const RgbaImage bar = drawBar(ground);
	expectPlates(readPlates(bar.view(), std::nullopt, 0.f), 0.f, 0, "0");
}

TEST(ReadPlates, TooSmallWithoutOutlineButReadWithOne)
{
	for (const auto &size : {std::pair{11, 8}, std::pair{12, 7}}) {
		BarLayout tiny;
		tiny.width = size.first;
		tiny.height = size.second;
		tiny.top = 2;
		tiny.cellHeight = 4;
		const RgbaImage bar = drawBar(tiny);
		SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
		expectNoReading(readPlates(bar.view(), std::nullopt, 0.f));
		// The outline rectifies it to 48 x 16, which is read (no plates in it).
		const PlatesOutline whole = {PointF{0, 0},
					     {float(size.first - 1), 0},
					     {float(size.first - 1), float(size.second - 1)},
					     {0, float(size.second - 1)}};
		EXPECT_TRUE(readPlates(bar.view(), whole, 0.f).ok);
	}
}

TEST(ReadPlates, MalformedCropsGiveNoReading)
{
	const RgbaImage bar = drawBar(threeCells(1, 1, 1));
	const RgbaCrop good = bar.view();
	const RgbaCrop cases[] = {
		{nullptr, good.width, good.height, good.stride},
		{good.data, 0, good.height, good.stride},
		{good.data, good.width, -3, good.stride},
		{good.data, good.width, good.height, good.stride - 4}, // rows would overlap
		{good.data, good.width, good.height, -good.stride},
	};
	for (const RgbaCrop &c : cases)
		expectNoReading(readPlates(c, std::nullopt, 20.f));
}

TEST(ReadPlates, RowPaddingIsSkipped)
{
	// The same bar with 24 bytes of blue padding after every row reads the same.
	const RgbaImage bar = drawBar(threeCells(1, 1, 0.5));
	const int stride = bar.width * 4 + 24;
	std::vector<uint8_t> padded(size_t(stride) * size_t(bar.height));
	for (int y = 0; y < bar.height; ++y) {
		std::copy_n(bar.pixels.begin() + ptrdiff_t(y) * bar.width * 4, bar.width * 4,
			    padded.begin() + y * stride);
		for (int k = bar.width * 4; k < stride; k += 4)
			std::copy(kBlue.begin(), kBlue.end(), padded.begin() + y * stride + k);
	}
	expectPlates(readPlates(RgbaCrop{padded.data(), bar.width, bar.height, stride}, std::nullopt, 0.f), 2.5f, 3,
		     "2.5");
}

TEST(ReadPlates, TiltedBarReadThroughItsOutline)
{
	const RgbaImage bar = drawBar(threeCells(1, 1, 0.5));
	struct Case {
		const char *name;
		PlatesOutline outline;
	} cases[] = {
		{"leaning up", {PointF{20, 40}, {232, 14}, {238, 58}, {24, 82}}},
		{"in perspective", {PointF{12, 20}, {250, 34}, {244, 70}, {16, 66}}},
		{"leaning down", {PointF{15, 8}, {230, 35}, {226, 80}, {10, 50}}},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		const RgbaImage canvas = inPerspective(bar, c.outline, 262, 96);
		expectPlates(readPlates(canvas.view(), c.outline, 0.f), 2.5f, 3, "2.5");
	}
}

TEST(ReadPlates, TurnedBarReadWithItsAngle)
{
	struct Case {
		double shownAt; // how the bar appears in the crop
		float angle;    // what the user set to straighten it
	} cases[] = {{-20.0, 20.f}, {20.0, -20.f}, {-30.0, 30.f}, {-8.0, 8.f}};
	const RgbaImage bar = drawBar(threeCells(1, 1, 0.5));
	for (const Case &c : cases) {
		SCOPED_TRACE(c.angle);
		const RgbaImage canvas = turned(bar, c.shownAt, 240, 120);
		expectPlates(readPlates(canvas.view(), std::nullopt, c.angle), 2.5f, 3, "2.5");
	}
	// Turning the wrong way doubles the tilt instead of removing it.
	const RgbaImage canvas = turned(bar, -20.0, 240, 120);
	EXPECT_NE(readPlates(canvas.view(), std::nullopt, -20.f).exactValue, 2.5f);
}

TEST(ReadPlates, UsableOutlineWinsOverTheAngle)
{
	const RgbaImage bar = drawBar(threeCells(1, 1, 1));
	const PlatesOutline outline = {PointF{20, 40}, {232, 14}, {238, 58}, {24, 82}};
	const RgbaImage canvas = inPerspective(bar, outline, 262, 96);
	// The angle would turn the bar off its line; the outline is used instead.
	expectPlates(readPlates(canvas.view(), outline, 25.f), 3.f, 3, "3");
}

TEST(ReadPlates, UnusableOrFailedOutlineFallsBackToTheAngle)
{
	const RgbaImage bar = drawBar(threeCells(1, 1, 0.5));
	const RgbaImage canvas = turned(bar, -20.0, 240, 120);
	const PlatesOutline cases[] = {
		{PointF{10, 10}, {12, 10}, {12, 50}, {10, 50}},  // a side of 2 pixels
		{PointF{30, 30}, {30, 30}, {30, 30}, {30, 30}},  // all one point
		{PointF{0, 0}, {100, 10}, {200, 20}, {50, 5}},   // collinear
		{PointF{0, 0}, {2e9f, 0}, {2e9f, 40}, {0, 40}},  // a side of 2e9 pixels
		{PointF{kNaN, 0}, {200, 0}, {200, 40}, {0, 40}}, // NaN
		{PointF{0, 0}, {kInf, 0}, {kInf, 40}, {0, 40}},  // infinite
		{PointF{-kInf, -kInf}, {kInf, -kInf}, {kInf, kInf}, {-kInf, kInf}},
	};
	for (const PlatesOutline &outline : cases) {
		SCOPED_TRACE(outline[1].x);
		expectPlates(readPlates(canvas.view(), outline, 20.f), 2.5f, 3, "2.5");
	}
}

TEST(ReadPlates, AngleWindow)
{
	// An 11 x 8 crop is too small to read as it is; turned, its canvas is large enough. So a
	// reading shows that the crop was turned.
	BarLayout tiny;
	tiny.width = 11;
	tiny.height = 8;
	tiny.top = 2;
	tiny.cellHeight = 4;
	const RgbaImage bar = drawBar(tiny);
	struct Case {
		float angle;
		bool turned;
	} cases[] = {{0.f, false},   {0.2f, false}, {-0.2f, false}, {0.25f, true}, {-0.25f, true}, {30.5f, true},
		     {-30.5f, true}, {31.f, false}, {-31.f, false}, {kNaN, false}, {kInf, false},  {1e30f, false}};
	for (const Case &c : cases)
		EXPECT_EQ(readPlates(bar.view(), std::nullopt, c.angle).ok, c.turned) << "angle " << c.angle;
}

TEST(ReadPlates, ShortSideOutlineWithAngleZeroReadsTheCropAsItIs)
{
	const RgbaImage bar = drawBar(threeCells(1, 1, 0.5));
	const PlatesOutline shortSide = {PointF{10, 10}, {200, 10}, {200, 13.9f}, {10, 13.9f}};
	expectPlates(readPlates(bar.view(), shortSide, 0.f), 2.5f, 3, "2.5");
}

TEST(ReadPlates, OutlinePartlyOutsideTheCrop)
{
	// The outline reaches 30 pixels past the crop's left edge: that part comes out black.
	const RgbaImage bar = drawBar(threeCells(1, 1, 1));
	const PlatesOutline outline = {PointF{-30, 10}, {219, 10}, {219, 29}, {-30, 29}};
	expectPlates(readPlates(bar.view(), outline, 0.f), 3.f, 3, "3");
}
