#include "digits/digit_reader.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace ostrelo {
namespace {

using test::renderNumber;
using test::sampleNumber;
using test::ScopedEnv;
using test::StderrCapture;
using test::tint;

void setPixel(RgbaImage &image, int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b)
{
	uint8_t *p = image.pixels.data() + (size_t(y) * size_t(image.width) + size_t(x)) * 4;
	p[0] = r;
	p[1] = g;
	p[2] = b;
}

// Dim red "12" (R 130: red, but not strongly) on the left, a white "7" on the right, and `strong`
// strongly red single pixels along the top edge.
RgbaImage redAndWhite(int32_t strong)
{
	const GrayImage red = renderNumber("12", 22, 255, 0);
	const GrayImage white = renderNumber("7", 22, 255, 0);
	RgbaImage crop;
	crop.width = red.width + 30 + white.width;
	crop.height = red.height;
	crop.pixels.assign(size_t(crop.width) * size_t(crop.height) * 4, 20);
	for (int32_t y = 0; y < crop.height; ++y) {
		for (int32_t x = 0; x < red.width; ++x)
			if (red.at(x, y))
				setPixel(crop, x, y, 130, 30, 30);
		for (int32_t x = 0; x < white.width; ++x)
			if (white.at(x, y))
				setPixel(crop, red.width + 30 + x, y, 240, 240, 240);
	}
	for (int32_t i = 0; i < strong; ++i)
		setPixel(crop, 2 + 3 * i, 0, 200, 0, 0);
	return crop;
}

size_t countLines(const std::string &text, const std::string &prefix)
{
	size_t n = 0;
	for (const std::string &line : test::splitLines(text))
		n += line.rfind(prefix, 0) == 0 ? 1 : 0;
	return n;
}

using RedReader = test::WithoutTraceSwitches;

TEST_F(RedReader, SmallCropsAreNotRead)
{
	const RgbaImage red = tint(renderNumber("5", 22, 255, 0), 230, 30, 30, 10, 10, 10);
	ASSERT_TRUE(readRedDigits(red.view()).ok);
	for (auto [w, h] : {std::pair{7, 30}, {30, 7}, {0, 0}, {-8, 30}}) {
		RgbaCrop small = red.view();
		small.width = std::min(w, red.width);
		small.height = std::min(h, red.height);
		EXPECT_FALSE(readRedDigits(small).ok) << w << "x" << h;
	}
	EXPECT_FALSE(readRedDigits(RgbaCrop{nullptr, 40, 30, 160}).ok);
}

TEST_F(RedReader, RednessComesFirstWhenSixPixelsAreStronglyRed)
{
	// Six strongly red pixels: the redness image shows only the red digits.
	const RgbaImage six = redAndWhite(6);
	ASSERT_EQ(countRedPixels(six.view()), 6);
	EXPECT_EQ(readRedDigits(six.view()).text, "12");
	// Five: the redness image is skipped and the brightest channel shows the white 7 best.
	const RgbaImage five = redAndWhite(5);
	ASSERT_EQ(countRedPixels(five.view()), 5);
	EXPECT_EQ(readRedDigits(five.view()).text, "7");
}

TEST_F(RedReader, TheSoftReaderOnlyWhenTheBoxReaderFails)
{
	ScopedEnv dump("VX_SOFT_DUMP", "");
	struct Case {
		const char *number;
		size_t softLines; // SOFTGLYPH lines printed
	} cases[] = {
		{"36", 0},  // the box reader reads the redness image
		{"804", 3}, // it does not; the soft reader reads the redness image's three glyphs
	};
	for (const Case &c : cases) {
		const RgbaImage crop = tint(sampleNumber(c.number, 2, 1), 230, 40, 30, 15, 15, 15);
		StderrCapture capture;
		const StatReading r = readRedDigits(crop.view());
		const std::string text = capture.finish();
		EXPECT_EQ(r.text, c.number);
		EXPECT_EQ(countLines(text, "SOFTGLYPH n="), c.softLines) << c.number;
	}
}

TEST_F(RedReader, OrderRednessBoxSoftThenMaxChannelBoxSoft)
{
	// Solid red blocks: neither reader sees digits in either image, so all four passes run.
	RgbaImage crop;
	crop.width = 50;
	crop.height = 30;
	crop.pixels.assign(size_t(crop.width * crop.height) * 4, 10);
	for (int32_t b = 0; b < 3; ++b)
		for (int32_t y = 7; y < 23; ++y)
			for (int32_t x = 6 + b * 13; x < 16 + b * 13; ++x)
				setPixel(crop, x, y, 220, 20, 20);
	ScopedEnv debug("VX_DIGIT_DEBUG", "");
	StderrCapture capture;
	EXPECT_FALSE(readRedDigits(crop.view()).ok);
	std::istringstream in(capture.finish());
	std::string sequence; // one letter per block of lines: b (box reader) or s (soft reader)
	for (std::string line; std::getline(in, line);) {
		const char kind = line.rfind("  soft ", 0) == 0 ? 's' : line.rfind("  bin ", 0) == 0 ? 'b' : 0;
		if (kind && (sequence.empty() || sequence.back() != kind))
			sequence.push_back(kind);
	}
	EXPECT_EQ(sequence, "bsbs");
}

// A number whose leading 1 is a plain bar, as condensed HUD faces draw it, set apart from the
// digits after it by `gap` columns: the grey samples for the rest, each `scale` times its size.
GrayImage barOneThen(const std::string &rest, int32_t scale, int32_t barWidth, int32_t gap)
{
	const GrayImage tail = sampleNumber(rest, scale, scale, 4 * scale);
	const int32_t margin = 4 * scale;
	GrayImage out(tail.width + barWidth + gap, tail.height, 0);
	for (int32_t y = 0; y < tail.height; ++y)
		for (int32_t x = 0; x < tail.width; ++x)
			out.at(barWidth + gap + x, y) = tail.at(x, y);
	for (int32_t y = margin + scale; y < tail.height - margin - scale; ++y)
		for (int32_t x = margin; x < margin + barWidth; ++x)
			out.at(x, y) = 255;
	return out;
}

TEST_F(RedReader, ASoftReadingNeverDropsAGlyphTheBoxesShow)
{
	// The box reader finds both glyphs and rejects the pair; the soft reader takes the bar's
	// columns for a separate run and reads the last digit alone. Posting 6 for 16 is worse
	// than posting nothing.
	const struct {
		const char *rest;
		int32_t scale, barWidth, gap;
	} cases[] = {
		{"6", 1, 3, 5}, {"5", 1, 3, 5}, {"3", 1, 3, 5}, {"6", 2, 5, 9}, {"3", 2, 6, 10}, {"5", 2, 5, 12},
	};
	for (const auto &c : cases) {
		const std::string truth = std::string("1") + c.rest;
		for (const auto &[r, g, b] : {std::array<uint8_t, 3>{245, 245, 245}, {235, 40, 35}}) {
			const RgbaImage crop =
				tint(barOneThen(c.rest, c.scale, c.barWidth, c.gap), r, g, b, 24, 26, 22);
			// The crop provokes the soft reader into the short reading.
			ASSERT_EQ(readSoftGlyphs(toMaxChannel(crop.view())).text, c.rest) << truth;
			const StatReading read = readRedDigits(crop.view());
			EXPECT_TRUE(!read.ok || read.text == truth)
				<< truth << " x" << c.scale << " read as " << read.text << " (ink " << int(g) << ")";
		}
	}
}

TEST_F(RedReader, RegionsOfMoreThanTwoMillionPixels)
{
	// A 2560 x 1440 region (the panel allows one) with a red number in it. The box reader finds no
	// glyph of the required size, so the soft reader reads it, over 3.7 million pixels.
	const RgbaImage crop = tint(test::largeRegionWithNumber(), 235, 35, 25, 12, 12, 12);
	const StatReading r = readRedDigits(crop.view());
	EXPECT_TRUE(r.ok);
	EXPECT_EQ(r.text, "306");
}

} // namespace
} // namespace ostrelo
