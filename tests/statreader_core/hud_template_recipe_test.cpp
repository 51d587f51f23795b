#include "hud_test_frames.h"

#include "statreader/hud_template_recipe.h"

#include <gtest/gtest.h>

using namespace ostrelo;
using ostrelo::test::Rgb;
using ostrelo::test::TestFrame;

TEST(HudTemplateRecipe, DefaultBoxesAreTheExpectedPlacesAt1080)
{
	const TemplateBox expect[kHudTemplateCount] = {
		{90, 50, 334, 40},    {200, 212, 180, 88}, {885, 149, 150, 26},
		{808, 1044, 310, 23}, {150, 851, 551, 75}, {430, 471, 830, 160},
	};
	for (int id = 0; id < kHudTemplateCount; ++id) {
		const TemplateBox b = defaultTemplateBox(kHudTemplateDefs[size_t(id)]);
		EXPECT_EQ(b, expect[id]) << kHudTemplateDefs[size_t(id)].name << ": " << b.x << "," << b.y;
		EXPECT_LE(b.x + b.w, kTemplateScreenWidth);
		EXPECT_LE(b.y + b.h, kTemplateScreenHeight);
	}
}

TEST(HudTemplateRecipe, LumaThenAreaAverage)
{
	// Three columns reduced to two: the first output covers all of column 0 and half of
	// column 1, the second the other half of column 1 and all of column 2.
	TestFrame f(8, 4, Rgb{0, 0, 0}, 12);
	f.fill(1, 1, 2, 3, Rgb{255, 255, 255}); // column 0 of the box: 255
	f.fill(2, 1, 3, 3, Rgb{0, 0, 255});     // column 1: luma 28
	f.fill(3, 1, 4, 3, Rgb{0, 255, 0});     // column 2: luma 149
	const TemplateBox box{1, 1, 3, 2};
	const struct {
		int32_t w, h;
		std::vector<uint8_t> expect;
	} cases[] = {
		{3, 2, {255, 28, 149, 255, 28, 149}}, // same size: the luma itself
		{2, 1, {uint8_t((2 * 255 + 28 + 1) / 3), uint8_t((28 + 2 * 149 + 1) / 3)}}, // 179.33, 108.67
		{1, 1, {uint8_t((255 + 28 + 149 + 1) / 3)}},                                // 144
		{6, 4, {255, 255, 28, 28, 149, 149, 255, 255, 28, 28, 149, 149,             // enlarging repeats
			255, 255, 28, 28, 149, 149, 255, 255, 28, 28, 149, 149}},
	};
	for (const auto &c : cases)
		EXPECT_EQ(cutTemplate(f.data(), f.width(), f.height(), f.lineSize(), box, c.w, c.h), c.expect)
			<< c.w << "x" << c.h;
}

TEST(HudTemplateRecipe, RoundsToNearest)
{
	// Two pixels 100 and 101 average to 100.5, which rounds up; 100, 100, 101 to 100.33, down.
	TestFrame f(3, 1, Rgb{100, 100, 100});
	f.set(1, 0, Rgb{101, 101, 101});
	EXPECT_EQ(cutTemplate(f.data(), 3, 1, f.lineSize(), TemplateBox{0, 0, 2, 1}, 1, 1), std::vector<uint8_t>{101});
	EXPECT_EQ(cutTemplate(f.data(), 3, 1, f.lineSize(), TemplateBox{0, 0, 3, 1}, 1, 1), std::vector<uint8_t>{100});
}

TEST(HudTemplateRecipe, RefusesBoxesOutsideTheFrame)
{
	TestFrame f(100, 50, Rgb{9, 9, 9});
	const struct {
		TemplateBox box;
		int32_t w, h;
		uint32_t lineSize;
		bool ok;
	} cases[] = {
		{{0, 0, 100, 50}, 10, 5, 400, true},        {{90, 40, 10, 10}, 2, 2, 400, true},
		{{91, 40, 10, 10}, 2, 2, 400, false},       {{90, 41, 10, 10}, 2, 2, 400, false},
		{{-1, 0, 10, 10}, 2, 2, 400, false},        {{0, -1, 10, 10}, 2, 2, 400, false},
		{{0, 0, 0, 10}, 2, 2, 400, false},          {{0, 0, 10, 10}, 0, 2, 400, false},
		{{0, 0, 10, 10}, 2, -2, 400, false},        {{0, 0, 10, 10}, 2, 2, 399, false},
		{{INT32_MAX, 0, 10, 10}, 2, 2, 400, false},
	};
	for (const auto &c : cases) {
		const auto out = cutTemplate(f.data(), 100, 50, c.lineSize, c.box, c.w, c.h);
		EXPECT_EQ(!out.empty(), c.ok) << c.box.x << "," << c.box.y << " " << c.box.w << "x" << c.box.h;
		if (c.ok) {
			EXPECT_EQ(out, std::vector<uint8_t>(size_t(c.w) * size_t(c.h), 9));
		}
	}
	EXPECT_TRUE(cutTemplate(nullptr, 100, 50, 400, TemplateBox{0, 0, 10, 10}, 2, 2).empty());
}
