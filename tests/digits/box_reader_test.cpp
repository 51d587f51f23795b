#include "digits/box_reader.h"

#include "digits/glyph_templates.h"
#include "digits/image_prep.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ostrelo {
namespace {

using test::art;
using test::renderNumber;

DigitCandidate cand(int32_t digit, float score, float second, bool slash = false)
{
	DigitCandidate c;
	c.digit = digit;
	c.score = score;
	c.second = second;
	c.slash = slash;
	return c;
}

std::vector<DigitCandidate> clear(const std::string &text)
{
	std::vector<DigitCandidate> out;
	for (char ch : text)
		out.push_back(ch == '/' ? cand(1, 0.9f, 0.5f, true) : cand(ch - '0', 0.95f, 0.5f));
	return out;
}

TEST(ReadCandidates, EveryGlyphMustWinClearly)
{
	struct Case {
		const char *name;
		DigitCandidate c;
		bool ok;
	} cases[] = {
		{"clear", cand(3, 0.9f, 0.5f), true},
		{"margin 0.07 at 0.86", cand(3, 0.86f, 0.79f), false},
		{"margin 0.081 at 0.86", cand(3, 0.86f, 0.779f), true},
		{"margin just over 0.02 at 0.87", cand(3, 0.87f, 0.849f), true},
		{"margin 0.019 at 0.87", cand(3, 0.87f, 0.851f), false},
		{"margin 0.05 at 0.869", cand(3, 0.869f, 0.819f), false},
		{"score 0.76", cand(3, 0.76f, 0.5f), true},
		{"score below 0.76", cand(3, 0.759f, 0.5f), false},
		{"no digit", cand(-1, 0.f, 0.f), false},
	};
	for (const Case &c : cases) {
		const StatReading r = readCandidates({cand(5, 0.99f, 0.1f), c.c});
		EXPECT_EQ(r.ok, c.ok) << c.name;
		if (c.ok) {
			EXPECT_EQ(r.text, "5" + std::to_string(c.c.digit));
			EXPECT_EQ(r.confidence, std::min(0.99f, c.c.score)) << c.name;
		} else {
			EXPECT_EQ(r.value, 0);
			EXPECT_EQ(r.digits, 0);
			EXPECT_EQ(r.confidence, 0.f);
			EXPECT_TRUE(r.text.empty());
		}
	}
}

TEST(ReadCandidates, SlashesValuesAndLeadingZeros)
{
	struct Case {
		std::string glyphs;
		bool ok;
		int32_t value;
		std::string text;
	} cases[] = {
		{"12/50", true, 12, "12"},
		{"/12", true, 112, "112"}, // a slash flag on the first glyph has no effect
		{"1/2", true, 1, "1"},
		{"0999999", true, 999999, "0999999"},
		{"999999", true, 999999, "999999"},
		{"1000000", false, 0, ""},
		{"007", true, 7, "007"},
		{"", false, 0, ""},
	};
	for (const Case &c : cases) {
		const StatReading r = readCandidates(clear(c.glyphs));
		EXPECT_EQ(r.ok, c.ok) << c.glyphs;
		EXPECT_EQ(r.value, c.value) << c.glyphs;
		EXPECT_EQ(r.text, c.text) << c.glyphs;
		EXPECT_EQ(r.digits, int32_t(c.text.size())) << c.glyphs;
		EXPECT_EQ(r.exactValue, 0.f);
	}
	// A glyph after the slash is never judged, however unclear.
	std::vector<DigitCandidate> list = clear("4/");
	list.push_back(cand(-1, 0.f, 0.f));
	EXPECT_TRUE(readCandidates(list).ok);
}

TEST(SlashTest, LeaningGlyphsUnlessAClearOne)
{
	const GrayImage slash = art({
		"......##",
		".....##.",
		".....##.",
		"....##..",
		"....##..",
		"...##...",
		"...##...",
		"..##....",
		"..##....",
		".##.....",
		"##......",
	});
	const GlyphBox box{0, 0, 8, 11};
	EXPECT_EQ(inkCenterX(slash, box, 0, 3), 5);  // (6+7+5+6+5+6) / 6
	EXPECT_EQ(inkCenterX(slash, box, 8, 11), 1); // (2+3+1+2+0+1) / 6
	struct Case {
		const char *name;
		int32_t digit;
		float score;
		bool isSlashGlyph;
	} cases[] = {
		{"scored as 7", 7, 0.9f, true},
		{"a weak 1", 1, 0.74f, true},
		{"a clear 1", 1, 0.75f, false},
		{"no digit", -1, 0.f, true},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isSlash(slash, box, c.digit, c.score), c.isSlashGlyph) << c.name;

	// Upright strokes and boxes too short to judge are never slashes.
	const GrayImage upright = art({"##", "##", "##", "##", "##", "##"});
	EXPECT_FALSE(isSlash(upright, GlyphBox{0, 0, 2, 6}, 7, 0.9f));
	EXPECT_FALSE(isSlash(slash, GlyphBox{0, 0, 8, 3}, 7, 0.9f));
	// Without ink in the measured rows the centre is the box's middle.
	EXPECT_EQ(inkCenterX(GrayImage(10, 10), GlyphBox{2, 0, 7, 10}, 0, 10), 4);
}

TEST(ReadBoxes, RenderedNumbers)
{
	struct Case {
		std::string drawn;
		bool ok;
		int32_t value;
		std::string text;
	} cases[] = {
		{"0999999", true, 999999, "0999999"},
		{"1000000", false, 0, ""},
		{"12345678", false, 0, ""}, // eight boxes
		{"1234567", false, 0, ""},  // seven clear glyphs, but above 999999
		{"7000007", false, 0, ""},
		{"12/50", true, 12, "12"},
		{"2026", true, 2026, "2026"},
	};
	for (const Case &c : cases) {
		const StatReading r = readBoxes(binarizeAdaptive(renderNumber(c.drawn, 22, 240, 20)));
		EXPECT_EQ(r.ok, c.ok) << c.drawn;
		EXPECT_EQ(r.value, c.value) << c.drawn;
		EXPECT_EQ(r.text, c.text) << c.drawn;
		EXPECT_EQ(r.digits, int32_t(c.text.size())) << c.drawn;
		EXPECT_GE(r.confidence, c.ok ? 0.76f : 0.f) << c.drawn;
	}
}

TEST(Vote, AgreeingReadingsWin)
{
	auto reading = [](int32_t value, float confidence, std::string text = {}) {
		StatReading r;
		r.ok = true;
		r.value = value;
		r.confidence = confidence;
		r.text = text.empty() ? std::to_string(value) : text;
		r.digits = int32_t(r.text.size());
		return r;
	};
	struct Case {
		const char *name;
		std::vector<StatReading> readings;
		bool ok;
		int32_t value;
		float confidence;
		std::string text;
	} cases[] = {
		{"two agree, one differs",
		 {reading(57, 0.8f), reading(57, 0.9f), reading(51, 0.95f)},
		 true,
		 57,
		 0.9f,
		 "57"},
		{"a single reading", {reading(57, 0.8f)}, false, 0, 0.f, ""},
		{"nothing", {}, false, 0, 0.f, ""},
		{"two pairs: the larger confidence",
		 {reading(51, 0.8f), reading(57, 0.85f), reading(57, 0.9f), reading(51, 0.95f)},
		 true,
		 51,
		 0.95f,
		 "51"},
		{"two pairs tied: the first",
		 {reading(57, 0.9f), reading(51, 0.9f), reading(57, 0.8f), reading(51, 0.8f)},
		 true,
		 57,
		 0.9f,
		 "57"},
		{"equal values keep the first text",
		 {reading(57, 0.8f, "057"), reading(57, 0.9f)},
		 true,
		 57,
		 0.9f,
		 "057"},
	};
	for (const Case &c : cases) {
		const StatReading r = voteReadings(c.readings);
		EXPECT_EQ(r.ok, c.ok) << c.name;
		EXPECT_EQ(r.value, c.value) << c.name;
		EXPECT_EQ(r.confidence, c.confidence) << c.name;
		EXPECT_EQ(r.text, c.text) << c.name;
	}
}

TEST(ReadDigits, TooSmallOrMalformedCropsAreNotRead)
{
	EXPECT_FALSE(readDigits(GrayImage(3, 30, 0)).ok);
	EXPECT_FALSE(readDigits(GrayImage(30, 5, 0)).ok);
	GrayImage truncated = renderNumber("42", 22, 240, 20);
	truncated.pixels.resize(truncated.pixels.size() - 1);
	EXPECT_FALSE(readDigits(truncated).ok);
	EXPECT_FALSE(readDigitsMultiScale(truncated).ok);
	EXPECT_FALSE(readDigitsMultiScale(GrayImage()).ok);
}

TEST(ReadDigits, BothPolaritiesAndContrasts)
{
	struct Case {
		uint8_t ink, background;
	} cases[] = {{255, 0}, {240, 20}, {20, 240}, {0, 255}, {200, 90}, {90, 200}, {150, 100}, {100, 150}};
	for (const Case &c : cases) {
		const StatReading r = readDigits(renderNumber("3071", 22, c.ink, c.background));
		EXPECT_TRUE(r.ok) << int(c.ink) << " on " << int(c.background);
		EXPECT_EQ(r.text, r.ok ? "3071" : "") << int(c.ink) << " on " << int(c.background);
	}
}

TEST(ReadOpenFour, ReadsALoneOpenTopFour)
{
	GrayImage four = art({
		"..............",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".############.",
		".############.",
		".........##...",
		".........##...",
		".........##...",
		".........##...",
		".........##...",
		".........##...",
		"..............",
	});
	for (uint8_t &p : four.pixels)
		p = p ? 230 : 40;
	const StatReading r = readOpenFour(four);
	EXPECT_TRUE(r.ok);
	EXPECT_EQ(r.value, 4);
	EXPECT_EQ(r.digits, 1);
	EXPECT_EQ(r.confidence, 0.8f);
	EXPECT_EQ(r.text, "4");
	EXPECT_FALSE(readOpenFour(renderNumber("44", 22, 230, 40)).ok);
}

} // namespace
} // namespace ostrelo
