// Straightening: usable outlines, rectification, rotation and bilinear sampling.

#include "bar_drawing.h"
#include "plates/plates_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace ostrelo;
using namespace ostrelo::plates;
using namespace platestest;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

PlatesOutline box(float x0, float y0, float x1, float y1)
{
	return {PointF{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

RgbaImage filled(int w, int h, std::array<uint8_t, 4> c)
{
	RgbaImage img;
	img.width = w;
	img.height = h;
	for (int i = 0; i < w * h; ++i)
		img.pixels.insert(img.pixels.end(), c.begin(), c.end());
	return img;
}

bool allZero(const RgbaImage &img)
{
	for (uint8_t b : img.pixels)
		if (b)
			return false;
	return true;
}

} // namespace

TEST(IsQuadUsable, SidesAndArea)
{
	struct Case {
		const char *name;
		std::optional<PlatesOutline> outline;
		bool usable;
	} cases[] = {
		{"none", std::nullopt, false},
		{"a bar", box(0, 0, 200, 40), true},
		{"sides of exactly 4", box(0, 0, 4, 4), false}, // area 16 < 24
		{"4 by 6", box(0, 0, 4, 6), true},              // area 24
		{"3.99 by 100", box(0, 0, 3.99f, 100), false},
		{"one short side", {{PointF{0, 0}, {100, 0}, {100, 40}, {97, 40}}}, false}, // 3 pixels
		{"clicked the other way round", {{PointF{0, 0}, {0, 40}, {200, 40}, {200, 0}}}, true},
		{"all one point", box(5, 5, 5, 5), false},
		{"collinear", {{PointF{0, 0}, {100, 10}, {200, 20}, {50, 5}}}, false},
		{"NaN", {{PointF{0, kNaN}, {100, 0}, {100, 40}, {0, 40}}}, false},
		{"infinite corner", {{PointF{0, 0}, {kInf, 0}, {100, 40}, {0, 40}}}, false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isQuadUsable(c.outline), c.usable) << c.name;
}

TEST(RectifyQuad, OutputSize)
{
	const RgbaImage img = filled(64, 64, {1, 2, 3, 4});
	struct Case {
		PlatesOutline outline;
		int width, height;
	} cases[] = {
		{box(0, 0, 10, 5), 48, 16},                                 // lower limits
		{{PointF{0, 0}, {200.5f, 0}, {200, 40}, {0, 40}}, 201, 40}, // longer of top and bottom, half up
		{{PointF{0, 0}, {200.4f, 0}, {200, 40}, {0, 40}}, 200, 40},
		{{PointF{0, 0}, {100, 10}, {100, 50}, {0, 40}}, 100, 40}, // slanted top: 100.499
		{{PointF{0, 0}, {60, 0}, {60, 30}, {0, 20.5f}}, 61, 30},  // right side is the longer
		{box(-5000, -5000, 3191, -4980), 8191, 20},               // far outside, long but allowed
	};
	for (const Case &c : cases) {
		const auto out = rectifyQuad(img.view(), c.outline);
		ASSERT_TRUE(out);
		EXPECT_EQ(out->width, c.width);
		EXPECT_EQ(out->height, c.height);
		EXPECT_EQ(out->pixels.size(), size_t(c.width) * size_t(c.height) * 4);
	}
}

TEST(RectifyQuad, FailsInsteadOfDividingByNothingOrAllocatingTooMuch)
{
	const RgbaImage img = filled(64, 64, {40, 150, 230, 255});
	struct Case {
		const char *name;
		PlatesOutline outline;
	} cases[] = {
		{"all one point", box(5, 5, 5, 5)},
		{"collinear", {PointF{0, 0}, {100, 10}, {200, 20}, {50, 5}}},
		{"two corners on one", {PointF{0, 0}, {0, 0}, {100, 40}, {0, 40}}},
		{"side of 2e9", {PointF{0, 0}, {2e9f, 0}, {2e9f, 40}, {0, 40}}},
		{"height of 2e9", box(0, 0, 100, 2e9f)},
		{"just over the side limit", box(0, 0, 8192.6f, 20)},
		{"too many pixels", box(0, 0, 8000, 8000)},
		{"NaN", {PointF{kNaN, 0}, {100, 0}, {100, 40}, {0, 40}}},
		{"infinite", {PointF{0, 0}, {kInf, 0}, {kInf, 40}, {0, 40}}},
		{"huge coordinates", box(-3e38f, -3e38f, 3e38f, 3e38f)},
	};
	for (const Case &c : cases)
		EXPECT_FALSE(rectifyQuad(img.view(), c.outline)) << c.name;
}

TEST(RectifyQuad, OutsideTheCropComesOutBlack)
{
	const RgbaImage img = filled(64, 32, {40, 150, 230, 255});
	const auto far = rectifyQuad(img.view(), box(1e5f, 1e5f, 1e5f + 120, 1e5f + 30));
	ASSERT_TRUE(far);
	EXPECT_TRUE(allZero(*far));

	// Half outside: the left half of the output is black, the right half the crop's colour.
	const auto half = rectifyQuad(img.view(), box(-63, 0, 63, 31));
	ASSERT_TRUE(half);
	ASSERT_EQ(half->width, 126);
	const uint8_t *row = half->pixels.data() + size_t(10) * half->width * 4;
	EXPECT_EQ(row[20 * 4 + 2], 0);
	EXPECT_EQ(row[100 * 4 + 2], 230);
}

TEST(RectifyQuad, TiltedBarComesBackUpright)
{
	// A bar seen through a perspective, rectified with its four corners, matches the bar.
	const RgbaImage bar = drawBar(threeCells(1, 1, 0.5));
	const PlatesOutline outline = {PointF{20, 40}, {232, 14}, {238, 58}, {24, 82}};
	const RgbaImage canvas = inPerspective(bar, outline, 262, 96);
	const auto upright = rectifyQuad(canvas.view(), outline);
	ASSERT_TRUE(upright);
	// Compare cell by cell: the middle row of the output against the middle row of the bar.
	int agree = 0, total = 0;
	for (int j = 2; j < upright->width - 2; ++j) {
		const int bx = int(std::lround(j * double(bar.width - 1) / (upright->width - 1)));
		const bool barBlue = isPlateBlue(bar.pixels[size_t(20 * bar.width + bx) * 4],
						 bar.pixels[size_t(20 * bar.width + bx) * 4 + 1],
						 bar.pixels[size_t(20 * bar.width + bx) * 4 + 2]);
		const size_t at = (size_t(upright->height / 2) * upright->width + j) * 4;
		const bool outBlue = isPlateBlue(upright->pixels[at], upright->pixels[at + 1], upright->pixels[at + 2]);
		agree += barBlue == outBlue;
		++total;
	}
	EXPECT_GE(agree, total - 4); // only the anti-aliased cell edges may differ
}

TEST(RotateBar, CanvasSize)
{
	struct Case {
		int w, h;
		float angle;
		int outW, outH;
	} cases[] = {
		{100, 20, 0.f, 100, 20}, {100, 20, 30.f, 97, 67}, {100, 20, -30.f, 97, 67}, {220, 40, 20.f, 221, 113},
		{11, 8, 0.25f, 12, 9},   {11, 8, 30.5f, 14, 13},  {1, 1, 17.f, 2, 2},       {3, 1, 0.f, 3, 2},
	};
	for (const Case &c : cases) {
		const RgbaImage img = filled(c.w, c.h, {9, 9, 9, 9});
		const RgbaImage out = rotateBar(img.view(), c.angle);
		EXPECT_EQ(out.width, c.outW) << c.w << "x" << c.h << " at " << c.angle;
		EXPECT_EQ(out.height, c.outH) << c.w << "x" << c.h << " at " << c.angle;
		EXPECT_EQ(out.pixels.size(), size_t(out.width) * size_t(out.height) * 4);
	}
}

TEST(RotateBar, StaysBounded)
{
	// A thin crop turned 30 degrees would need a canvas of 10001 x 17321.
	const RgbaImage thin = filled(1, 20000, {9, 9, 9, 9});
	EXPECT_EQ(rotateBar(thin.view(), 30.f).width, 0);
	EXPECT_EQ(rotateBar(thin.view(), 30.f).pixels.size(), 0u);
	// Angles outside the slider's range still give a bounded canvas.
	const RgbaImage bar = filled(220, 40, {9, 9, 9, 9});
	for (float angle : {1e30f, -1e30f, 7200.f, kNaN, kInf}) {
		const RgbaImage out = rotateBar(bar.view(), angle);
		EXPECT_LE(int64_t(out.width) * out.height, kMaxBarPixels) << angle;
	}
}

TEST(RotateBar, PositiveAngleTurnsClockwise)
{
	// A mark right of the centre of a 21 x 21 crop ends up below the centre after +90 degrees
	// (y grows downward) and above it after -90.
	RgbaImage img = filled(21, 21, {0, 0, 0, 0});
	img.pixels[size_t(10 * 21 + 18) * 4] = 255;
	for (const auto &[angle, wantDy] : {std::pair{90.f, 8}, std::pair{-90.f, -8}}) {
		const RgbaImage out = rotateBar(img.view(), angle);
		int bestX = 0, bestY = 0, best = -1;
		for (int y = 0; y < out.height; ++y)
			for (int x = 0; x < out.width; ++x)
				if (out.pixels[size_t(y * out.width + x) * 4] > best) {
					best = out.pixels[size_t(y * out.width + x) * 4];
					bestX = x;
					bestY = y;
				}
		const double cx = (out.width - 1) / 2.0, cy = (out.height - 1) / 2.0;
		EXPECT_NEAR(bestX - cx, 0.0, 1.0) << angle;
		EXPECT_NEAR(bestY - cy, wantDy, 1.0) << angle;
	}
}

TEST(SampleBilinear, WeightsEdgesAndRounding)
{
	// 2 x 2 crop: red channel 100, 201 / 0, 50.
	RgbaImage img = filled(2, 2, {0, 0, 0, 0});
	img.pixels[0] = 100;
	img.pixels[4] = 201;
	img.pixels[8] = 0;
	img.pixels[12] = 50;
	img.pixels[1] = 7; // another channel, sampled on its own
	struct Case {
		float x, y;
		int red, green;
	} cases[] =
		{
			{0.f, 0.f, 100, 7},  {1.f, 0.f, 201, 0},  {1.f, 1.f, 50, 0},
			{0.5f, 0.f, 151, 4}, // 150.5 and 3.5, rounded half away from zero
			{0.5f, 0.5f, 88, 2}, // 87.75, 1.75
			{-0.5f, 0.f, 50, 4}, // half of the neighbour outside counts zero
			{1.5f, 1.f, 25, 0},  {0.f, -0.5f, 50, 4}, {-1.f, 0.f, 0, 0},
			{2.f, 0.f, 0, 0},    {0.f, 2.f, 0, 0},    {kNaN, 0.f, 0, 0},
			{0.f, kNaN, 0, 0},   {kInf, 0.f, 0, 0},   {-kInf, 0.f, 0, 0},
			{3e9f, 0.f, 0, 0},   {-3e9f, 0.5f, 0, 0},
		};
	for (const Case &c : cases) {
		const auto px = sampleBilinear(img.view(), c.x, c.y);
		EXPECT_EQ(px[0], c.red) << c.x << "," << c.y;
		EXPECT_EQ(px[1], c.green) << c.x << "," << c.y;
	}
}
