// The reader's diagnostic output: silent by default, exact line formats when switched on.
#include "digits/digit_reader.h"
#include "digits/shape_rules.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace ostrelo {
namespace {

using test::renderNumber;
using test::ScopedEnv;
using test::StderrCapture;

std::vector<std::string> lines(const std::string &text)
{
	std::vector<std::string> out;
	std::istringstream in(text);
	for (std::string line; std::getline(in, line);)
		out.push_back(line);
	return out;
}

// The heights of the bilevel images readBoxes printed, in order.
std::vector<int32_t> binHeights(const std::string &text)
{
	static const std::regex bin(R"(^  bin (\d+)x(\d+) boxes=\d+ consistent=[01]$)");
	std::vector<int32_t> out;
	for (const std::string &line : lines(text)) {
		std::smatch m;
		if (std::regex_match(line, m, bin))
			out.push_back(std::stoi(m[2]));
	}
	return out;
}

// Digits 130 on a ground of 60 under a bright bar across the top: Otsu separates the bar from
// everything else, so only a fixed threshold at or below 130 that also keeps the bar (which the
// line selection then drops) finds the digits.
GrayImage digitsUnderABar(uint8_t bar)
{
	const GrayImage digits = renderNumber("47", 22, 130, 60);
	GrayImage image(digits.width, digits.height + 12, 60);
	for (int32_t y = 0; y < 10; ++y)
		for (int32_t x = 0; x < image.width; ++x)
			image.at(x, y) = bar;
	for (int32_t y = 0; y < digits.height; ++y)
		for (int32_t x = 0; x < digits.width; ++x)
			image.at(x, y + 12) = digits.at(x, y);
	return image;
}

class Trace : public ::testing::Test {
protected:
	ScopedEnv noDebug{"VX_DIGIT_DEBUG", nullptr};
	ScopedEnv noDump{"VX_SOFT_DUMP", nullptr};
};

TEST_F(Trace, NothingIsWrittenWithoutTheSwitches)
{
	StderrCapture capture;
	EXPECT_TRUE(readDigits(renderNumber("42", 22, 240, 20)).ok);
	EXPECT_FALSE(readDigits(GrayImage(40, 30, 9)).ok);
	EXPECT_FALSE(readDigits(digitsUnderABar(250)).ok);
	EXPECT_FALSE(readDigitsMultiScale(GrayImage(90, 60, 9)).ok);
	EXPECT_TRUE(readDigitsMultiScale(renderNumber("42", 60, 240, 20)).ok);
	EXPECT_FALSE(isOpenFour(GrayImage(40, 30)));
	EXPECT_TRUE(readSoftGlyphs(test::sampleNumber("804", 2)).ok);
	EXPECT_FALSE(readSoftGlyphs(GrayImage(40, 30, 9)).ok);
	const RgbaImage red = test::tint(test::sampleNumber("804", 2), 230, 40, 30, 15, 15, 15);
	EXPECT_TRUE(readRedDigits(red.view()).ok);
	const RgbaImage blank = test::tint(GrayImage(40, 30), 230, 40, 30, 15, 15, 15);
	EXPECT_FALSE(readRedDigits(blank.view()).ok);
	EXPECT_EQ(capture.finish(), "");
}

TEST_F(Trace, SoftGlyphDump)
{
	ScopedEnv dump("VX_SOFT_DUMP", "yes");
	StderrCapture capture;
	EXPECT_EQ(readSoftGlyphs(test::sampleNumber("804", 2)).text, "804");
	const std::vector<std::string> out = lines(capture.finish());
	ASSERT_EQ(out.size(), 3u);
	for (size_t k = 0; k < out.size(); ++k) {
		const std::string head = "SOFTGLYPH n=3 k=" + std::to_string(k) + ":";
		ASSERT_EQ(out[k].rfind(head, 0), 0u) << out[k];
		std::istringstream values(out[k].substr(head.size()));
		int32_t count = 0, v = 0, largest = 0;
		while (values >> v) {
			EXPECT_GE(v, 0);
			EXPECT_LE(v, 255);
			largest = std::max(largest, v);
			++count;
		}
		EXPECT_TRUE(values.eof());
		EXPECT_EQ(count, 308);
		EXPECT_GT(largest, 128); // a glyph, not an empty grid
		// Single spaces before every number, nothing after the last.
		EXPECT_TRUE(std::regex_match(out[k], std::regex("SOFTGLYPH n=3 k=\\d:( \\d{1,3}){308}")));
	}
}

TEST_F(Trace, SoftReaderLines)
{
	ScopedEnv debug("VX_DIGIT_DEBUG", "");
	StderrCapture capture;
	EXPECT_EQ(readSoftGlyphs(test::sampleNumber("52", 2)).text, "52");
	const std::vector<std::string> out = lines(capture.finish());
	ASSERT_EQ(out.size(), 2u);
	const std::regex line(R"(  soft n=2 glyph (\d) digit=(\d) s=\d\.\d{3} second=-?\d\.\d{3})");
	std::smatch m;
	ASSERT_TRUE(std::regex_match(out[0], m, line)) << out[0];
	EXPECT_EQ(m[1], "0");
	EXPECT_EQ(m[2], "5");
	ASSERT_TRUE(std::regex_match(out[1], m, line)) << out[1];
	EXPECT_EQ(m[1], "1");
	EXPECT_EQ(m[2], "2");
}

TEST_F(Trace, BoxReaderLines)
{
	ScopedEnv debug("VX_DIGIT_DEBUG", "");
	StderrCapture capture;
	// One font 8 drawn on the grid exactly: score 1, confirmed by its two holes.
	const StatReading r = readBoxes(binarizeAdaptive(renderNumber("8", 22, 240, 20)));
	const std::vector<std::string> out = lines(capture.finish());
	ASSERT_TRUE(r.ok);
	ASSERT_EQ(out.size(), 3u);
	EXPECT_EQ(out[0], "  bin 24x32 boxes=1 consistent=1");
	EXPECT_EQ(out[1], "    box 5,5-19,27");
	EXPECT_TRUE(std::regex_match(
		out[2],
		std::regex(
			R"(    digit=8 score=1\.000 second=0\.[0-8]\d\d slash=0|    digit=8 score=1\.000 second=0\.900 slash=0)")))
		<< out[2];
}

TEST_F(Trace, CandidateLinesStopAtTheFirstFailure)
{
	ScopedEnv debug("VX_DIGIT_DEBUG", "1");
	StderrCapture capture;
	std::vector<DigitCandidate> list(3);
	list[0] = DigitCandidate{4, 0.9f, 0.5f, false};
	list[1] = DigitCandidate{7, 0.8f, 0.75f, false}; // fails the margin
	list[2] = DigitCandidate{1, 0.9f, 0.5f, false};
	EXPECT_FALSE(readCandidates(list).ok);
	EXPECT_EQ(capture.finish(), "    digit=4 score=0.900 second=0.500 slash=0\n"
				    "    digit=7 score=0.800 second=0.750 slash=0\n");
}

TEST_F(Trace, OpenFourLines)
{
	ScopedEnv debug("VX_DIGIT_DEBUG", "");
	{
		StderrCapture capture;
		EXPECT_FALSE(isOpenFour(binarizeAdaptive(renderNumber("44", 22, 240, 20))));
		EXPECT_EQ(capture.finish(), "  open4 boxes=2 bin=42x32\n");
	}
	{
		StderrCapture capture;
		EXPECT_TRUE(isOpenFour(binarizeAdaptive(renderNumber("4", 22, 240, 20))));
		const std::vector<std::string> out = lines(capture.finish());
		ASSERT_EQ(out.size(), 3u);
		EXPECT_EQ(out[0], "  open4 boxes=1 bin=24x32");
		EXPECT_EQ(out[1], "  open4 box=5,5 14x22 holes=1");
		EXPECT_TRUE(std::regex_match(
			out[2],
			std::regex(
				R"(  open4 holes=1 midL=\d\.\d{3} topL=\d\.\d{3} stem=\d\.\d{3} midBar=\d\.\d{3} botL=\d\.\d{3} botR=\d\.\d{3} -> 1)")))
			<< out[2];
	}
	{
		// An 8 stops after the hole count.
		StderrCapture capture;
		EXPECT_FALSE(isOpenFour(binarizeAdaptive(renderNumber("8", 22, 240, 20))));
		EXPECT_EQ(capture.finish(), "  open4 boxes=1 bin=24x32\n  open4 box=5,5 14x22 holes=2\n");
	}
}

TEST_F(Trace, TooSmallCropsPrintNothingEvenWhenSwitchedOn)
{
	ScopedEnv debug("VX_DIGIT_DEBUG", "");
	ScopedEnv dump("VX_SOFT_DUMP", "");
	StderrCapture capture;
	EXPECT_FALSE(readDigits(GrayImage(3, 30, 0)).ok);
	EXPECT_FALSE(readDigits(GrayImage(30, 5, 0)).ok);
	const GrayImage number = test::sampleNumber("52", 2);
	GrayImage low(number.width, 7);
	std::copy(number.pixels.begin() + 20 * number.width, number.pixels.begin() + 27 * number.width,
		  low.pixels.begin());
	EXPECT_FALSE(readSoftGlyphs(low).ok);
	// The 99.5th and 30th percentiles 39 apart.
	EXPECT_FALSE(readSoftGlyphs(test::sampleNumber("52", 2, 1, 4, 100, 139)).ok);
	const RgbaImage red = test::tint(number, 230, 40, 30, 15, 15, 15);
	RgbaCrop narrow = red.view();
	narrow.width = 7;
	EXPECT_FALSE(readRedDigits(narrow).ok);
	EXPECT_EQ(capture.finish(), "");
}

TEST_F(Trace, ReadDigitsFallsThroughInOrder)
{
	ScopedEnv debug("VX_DIGIT_DEBUG", "");
	struct Case {
		const char *name;
		GrayImage image;
		std::string text; // empty: no reading
		size_t binarisations;
	} cases[] = {
		{"clean crop: the adaptive pass reads", renderNumber("42", 22, 240, 20), "42", 1},
		{"bright and unreadable: adaptive and Otsu only", digitsUnderABar(250), "", 2},
		{"dim and unreadable: all seven", GrayImage(40, 30, 9), "", 7},
		{"dim, readable only at the last threshold (120)", digitsUnderABar(215), "47", 7},
	};
	for (const Case &c : cases) {
		StderrCapture capture;
		const StatReading r = readDigits(c.image);
		const std::string text = capture.finish();
		EXPECT_EQ(r.ok, !c.text.empty()) << c.name;
		EXPECT_EQ(r.text, c.text) << c.name;
		EXPECT_EQ(binHeights(text).size(), c.binarisations) << c.name << "\n" << text;
	}
}

TEST_F(Trace, MultiScaleTriesOtherHeightsOnlyForTallCrops)
{
	ScopedEnv debug("VX_DIGIT_DEBUG", "");
	auto distinctHeights = [](const std::string &text) {
		std::vector<int32_t> out;
		for (int32_t h : binHeights(text))
			if (out.empty() || out.back() != h)
				out.push_back(h);
		return out;
	};
	{
		// 56 high: the native reading only.
		StderrCapture capture;
		EXPECT_FALSE(readDigitsMultiScale(GrayImage(90, 56, 9)).ok);
		EXPECT_EQ(distinctHeights(capture.finish()), (std::vector<int32_t>{56}));
	}
	{
		// 60 high: 60, then 20 (read at 40 after doubling), 24 (48), 28, 32, 40 and 28 again,
		// then the open-four test on both binarisations.
		StderrCapture capture;
		EXPECT_FALSE(readDigitsMultiScale(GrayImage(90, 60, 9)).ok);
		const std::string text = capture.finish();
		EXPECT_EQ(distinctHeights(text), (std::vector<int32_t>{60, 40, 48, 28, 32, 40, 28}));
		EXPECT_EQ(binHeights(text).size(), 7u * 7u);
		const std::vector<std::string> out = lines(text);
		ASSERT_GE(out.size(), 2u);
		EXPECT_EQ(out[out.size() - 2], "  open4 boxes=0 bin=90x60");
		EXPECT_EQ(out[out.size() - 1], "  open4 boxes=0 bin=90x60");
	}
	{
		// 32 high and readable: the native result.
		StderrCapture capture;
		const StatReading r = readDigitsMultiScale(renderNumber("42", 22, 240, 20));
		EXPECT_TRUE(r.ok);
		EXPECT_EQ(r.text, "42");
		EXPECT_EQ(binHeights(capture.finish()).size(), 1u);
	}
}

} // namespace
} // namespace ostrelo
