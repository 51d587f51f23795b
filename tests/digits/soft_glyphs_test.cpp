#include "digits/soft_glyphs.h"

#include "digits/glyph_templates.h"
#include "digits/grey_glyphs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <regex>
#include <sstream>

namespace ostrelo {
namespace {

using test::sampleNumber;
using test::ScopedEnv;
using test::StderrCapture;

float cell(const SoftGlyph &g, int32_t x, int32_t y)
{
	return g.cells[size_t(y * 14 + x)];
}

GrayImage ramp(int32_t w, int32_t h)
{
	GrayImage image(w, h);
	for (int32_t y = 0; y < h; ++y)
		for (int32_t x = 0; x < w; ++x)
			image.at(x, y) = uint8_t((x * 7 + y * 13) % 256);
	return image;
}

TEST(SampleSoftGlyph, AreaWeightedCells)
{
	const GrayImage image = ramp(40, 50);
	// One pixel per cell.
	const SoftGlyph same = sampleSoftGlyph(image, 3, 4, 17, 26, 255.f);
	for (int32_t y = 0; y < 22; ++y)
		for (int32_t x = 0; x < 14; ++x)
			ASSERT_FLOAT_EQ(cell(same, x, y), float(image.at(x + 3, y + 4)) / 255.f);
	// Two by two pixels per cell: their mean.
	const SoftGlyph half = sampleSoftGlyph(image, 0, 0, 28, 44, 255.f);
	for (int32_t y = 0; y < 22; ++y)
		for (int32_t x = 0; x < 14; ++x) {
			const float mean = (float(image.at(2 * x, 2 * y)) + image.at(2 * x + 1, 2 * y) +
					    image.at(2 * x, 2 * y + 1) + image.at(2 * x + 1, 2 * y + 1)) /
					   4.f / 255.f;
			ASSERT_NEAR(cell(half, x, y), mean, 1e-6);
		}
	// A pixel per two cells each way: every cell is its pixel.
	const SoftGlyph twice = sampleSoftGlyph(image, 0, 0, 7, 11, 255.f);
	EXPECT_FLOAT_EQ(cell(twice, 5, 9), float(image.at(2, 4)) / 255.f);
	// One and a half pixels per cell: the second pixel counts half.
	GrayImage two(21, 22, 0);
	for (int32_t y = 0; y < 22; ++y)
		two.at(1, y) = 255;
	EXPECT_FLOAT_EQ(cell(sampleSoftGlyph(two, 0, 0, 21, 22, 255.f), 0, 0), 0.5f / 1.5f);
	EXPECT_FLOAT_EQ(cell(sampleSoftGlyph(two, 0, 0, 21, 22, 255.f), 1, 0), 0.5f / 1.5f);
}

TEST(SampleSoftGlyph, NormAndPixelsOutsideTheImage)
{
	const GrayImage bright(14, 22, 200);
	EXPECT_FLOAT_EQ(cell(sampleSoftGlyph(bright, 0, 0, 14, 22, 100.f), 3, 3), 1.f); // min(1, 2)
	EXPECT_FLOAT_EQ(cell(sampleSoftGlyph(bright, 0, 0, 14, 22, 400.f), 3, 3), 0.5f);
	// A box hanging off the left and top: outside cells are 0, the rest average only what lies inside.
	const SoftGlyph off = sampleSoftGlyph(bright, -7, -11, 7, 11, 255.f);
	EXPECT_EQ(cell(off, 0, 0), 0.f);
	EXPECT_EQ(cell(off, 6, 10), 0.f);
	EXPECT_FLOAT_EQ(cell(off, 7, 11), 200.f / 255.f);
	EXPECT_FLOAT_EQ(cell(off, 13, 21), 200.f / 255.f);
	// Absurd coordinates only visit the pixels inside the image.
	const SoftGlyph wide = sampleSoftGlyph(bright, -2147483647 - 1, 0, 2147483647, 22, 255.f);
	EXPECT_NEAR(*std::max_element(wide.cells.begin(), wide.cells.end()), 200.f / 255.f, 1e-6);
	const SoftGlyph far = sampleSoftGlyph(bright, 1000, 1000, 2000, 2000, 255.f);
	EXPECT_EQ(*std::max_element(far.cells.begin(), far.cells.end()), 0.f);
}

TEST(BlurSoftGlyph, MeanOverTheNeighboursInsideTheGrid)
{
	struct Case {
		int32_t x, y;
		float share; // what the spike gives each neighbour, itself included
	} cases[] = {{0, 0, 1.f / 4.f}, {13, 21, 1.f / 4.f}, {5, 0, 1.f / 6.f}, {0, 9, 1.f / 6.f}, {6, 9, 1.f / 9.f}};
	for (const Case &c : cases) {
		SoftGlyph spike;
		spike.cells[size_t(c.y * 14 + c.x)] = 1.f;
		const SoftGlyph b = blurSoftGlyph(spike);
		float total = 0.f;
		for (int32_t y = 0; y < 22; ++y)
			for (int32_t x = 0; x < 14; ++x) {
				const bool near = std::abs(x - c.x) <= 1 && std::abs(y - c.y) <= 1;
				ASSERT_TRUE(near || cell(b, x, y) == 0.f) << x << "," << y;
				total += cell(b, x, y);
			}
		// The spike's own cell has the neighbourhood size of its position.
		EXPECT_FLOAT_EQ(cell(b, c.x, c.y), c.share) << c.x << "," << c.y;
		EXPECT_GT(total, 0.f);
	}
	SoftGlyph flat;
	flat.cells.fill(0.25f);
	EXPECT_EQ(blurSoftGlyph(flat).cells, flat.cells);
}

TEST(CorrelateSoft, PearsonCorrelation)
{
	std::mt19937 rng(5);
	SoftGlyph a, b, flat;
	for (size_t i = 0; i < 308; ++i) {
		a.cells[i] = float(rng() % 1000) / 1000.f;
		b.cells[i] = float(rng() % 1000) / 1000.f;
	}
	flat.cells.fill(0.6f);
	SoftGlyph inverse = a, scaled = a;
	for (size_t i = 0; i < 308; ++i) {
		inverse.cells[i] = 1.f - a.cells[i];
		scaled.cells[i] = 0.5f * a.cells[i] + 0.25f;
	}
	EXPECT_FLOAT_EQ(correlateSoft(a, a), 1.f);
	EXPECT_FLOAT_EQ(correlateSoft(a, scaled), 1.f);
	EXPECT_FLOAT_EQ(correlateSoft(a, inverse), -1.f);
	EXPECT_EQ(correlateSoft(a, flat), 0.f);
	EXPECT_EQ(correlateSoft(flat, a), 0.f);
	EXPECT_EQ(correlateSoft(flat, flat), 0.f);
	EXPECT_EQ(correlateSoft(a, b), correlateSoft(b, a));
	EXPECT_LT(std::fabs(correlateSoft(a, b)), 0.2f); // unrelated noise

	// Two cells differ: a known value. x = (1, 0, 0 ...), y = (0, 1, 0 ...).
	SoftGlyph x, y;
	x.cells[0] = 1.f;
	y.cells[1] = 1.f;
	EXPECT_NEAR(correlateSoft(x, y), -1.0 / 307.0, 1e-7);
}

TEST(SoftLibrary, FortyNineEntriesInOrder)
{
	const std::vector<SoftTemplate> &lib = softLibrary();
	ASSERT_EQ(lib.size(), 49u);
	std::vector<int32_t> labels;
	for (const SoftTemplate &t : lib)
		labels.push_back(t.label);
	const std::vector<int32_t> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, // the font
					       1, 1, 1, 2, 3, 3, 7, 9, 9,    // the alternatives
					       1, 1, 3, 3, 2, 2, 4, 4, 2, 2, 1, 1, 6, 6, 3,
					       3, 0, 0, 2, 2, 1, 1, 5, 5, 2, 2, 8, 8, 1, 1}; // samples
	EXPECT_EQ(labels, expected);
	// Each grey sample is there raw (pixels / 255) and blurred.
	for (size_t i = 0; i < greyGlyphs.size(); ++i) {
		const SoftTemplate &raw = lib[19 + 2 * i];
		for (size_t c = 0; c < 308; ++c)
			ASSERT_EQ(raw.glyph.cells[c], float(greyGlyphs[i].pixels[c]) / 255.f);
		EXPECT_EQ(lib[20 + 2 * i].glyph.cells, blurSoftGlyph(raw.glyph).cells);
	}
	// Drawn templates are cropped to their ink: the font's 1 fills the grid's width although it
	// covers only 10 of its 14 columns.
	const SoftGlyph &one = lib[1].glyph;
	float leftColumn = 0.f;
	for (int32_t y = 0; y < 22; ++y)
		leftColumn += cell(one, 0, y);
	EXPECT_GT(leftColumn, 0.f);
	for (const SoftTemplate &t : lib)
		EXPECT_FLOAT_EQ(correlateSoft(t.glyph, t.glyph), 1.f);
}

TEST(SoftLibrary, TheNinthSampleIsTheHudZeroInTheRowsKnownFromIt)
{
	struct Case {
		int32_t row;
		std::array<uint8_t, 14> hud;
	} cases[] = {
		{0, {10, 13, 16, 106, 148, 209, 240, 249, 247, 250, 239, 139, 62, 0}},
		{3, {5, 87, 189, 235, 178, 53, 39, 35, 35, 101, 147, 245, 171, 112}},
		{19, {0, 54, 122, 230, 241, 236, 246, 249, 251, 252, 253, 253, 112, 0}},
	};
	ASSERT_EQ(greyGlyphs[8].label, 0);
	for (const Case &c : cases)
		for (size_t x = 0; x < 14; ++x)
			EXPECT_EQ(greyGlyphs[8].pixels[size_t(c.row) * 14 + x], c.hud[x])
				<< "row " << c.row << " column " << x;
}

TEST(SoftLibrary, DigitScoresAreTheBestCorrelationPerDigit)
{
	std::mt19937 rng(8);
	std::vector<SoftGlyph> glyphs;
	for (const SoftTemplate &t : softLibrary())
		glyphs.push_back(t.glyph);
	for (int32_t i = 0; i < 100; ++i) {
		SoftGlyph g;
		for (float &c : g.cells)
			c = float(rng() % 256) / 255.f;
		glyphs.push_back(blurSoftGlyph(g));
	}
	glyphs.push_back(SoftGlyph()); // flat: every correlation is 0
	for (const SoftGlyph &g : glyphs) {
		std::array<float, 10> plain{};
		for (const SoftTemplate &t : softLibrary())
			plain[size_t(t.label)] = std::max(plain[size_t(t.label)], correlateSoft(g, t.glyph));
		ASSERT_EQ(softDigitScores(g), plain);
	}
}

TEST(SoftRuns, BandAndSpanSelection)
{
	struct Case {
		const char *name;
		std::vector<int32_t> counts;
		int32_t minCount, maxGap;
		int32_t first, last;
	} cases[] = {
		{"rows: one dark row between joins", {0, 3, 3, 0, 3, 0, 0, 0, 0}, 2, 1, 1, 4},
		{"rows: two dark rows split, larger sum wins", {0, 3, 3, 0, 3, 0, 0, 5, 5}, 2, 1, 7, 8},
		{"rows: a weak row does not qualify but does not split", {2, 1, 2}, 2, 1, 0, 2},
		{"rows: equal sums keep the first", {3, 0, 0, 3}, 2, 1, 0, 0},
		{"rows: nothing qualifies", {1, 1, 0, 1}, 2, 1, -1, -1},
		{"columns: three empty columns join", {1, 0, 0, 0, 1}, 1, 3, 0, 4},
		{"columns: four split", {2, 0, 0, 0, 0, 1}, 1, 3, 0, 0},
		{"columns: the later run with more ink", {1, 0, 0, 0, 0, 1, 1}, 1, 3, 5, 6},
		{"empty", {}, 1, 3, -1, -1},
	};
	for (const Case &c : cases) {
		const SoftRun run = findSoftRun(c.counts, c.minCount, c.maxGap);
		EXPECT_EQ(run.first, c.first) << c.name;
		EXPECT_EQ(run.last, c.last) << c.name;
	}
	EXPECT_EQ(findSoftRun({0, 3, 3, 1, 3}, 2, 1).sum, 9); // the weak row adds nothing
}

TEST(SoftGlyphCount, RoundsHalfAwayFromZeroAndLimits)
{
	struct Case {
		int32_t spanW, bandH, n;
	} cases[] = {
		{18, 10, 3}, {17, 10, 3}, {12, 10, 2}, {9, 10, 2},  // 1.5 rounds up
		{8, 10, 1},  {40, 10, 3}, {15, 10, 3},              // 2.5 rounds up
		{3, 10, 1},  {2, 10, 1},  {21, 10, 3}, {14, 20, 1}, // 1.17
	};
	for (const Case &c : cases)
		EXPECT_EQ(softGlyphCount(c.spanW, c.bandH), c.n) << c.spanW << " / " << c.bandH;
}

TEST(SoftCuts, MoveToTheDarkestColumnNearby)
{
	auto profile = [](int32_t w, std::initializer_list<std::pair<int32_t, float>> dips) {
		std::vector<float> col(size_t(w), 1000.f);
		for (auto [k, v] : dips)
			col[size_t(k)] = v;
		return col;
	};
	struct Case {
		const char *name;
		std::vector<float> colSum;
		int32_t n;
		std::vector<int32_t> cuts;
	} cases[] = {
		{"one glyph", profile(30, {}), 1, {0, 30}},
		{"flat: nominal", profile(30, {}), 2, {0, 15, 30}},
		{"dip within reach (15 +- 5)", profile(30, {{11, 10.f}}), 2, {0, 11, 30}},
		{"dip at the edge of reach", profile(30, {{10, 10.f}}), 2, {0, 10, 30}},
		{"dip out of reach", profile(30, {{9, 10.f}}), 2, {0, 15, 30}},
		{"equal dips: the first found", profile(30, {{12, 10.f}, {18, 10.f}}), 2, {0, 12, 30}},
		{"the deeper dip", profile(30, {{12, 10.f}, {18, 5.f}}), 2, {0, 18, 30}},
		{"three glyphs (reach 3)", profile(30, {{7, 1.f}, {13, 1.f}, {23, 1.f}}), 3, {0, 7, 23, 30}},
		{"never column 0", profile(4, {{0, 0.f}}), 2, {0, 2, 4}},
	};
	for (const Case &c : cases)
		EXPECT_EQ(softCuts(c.colSum, c.n), c.cuts) << c.name;
}

TEST(SoftConfidence, FromTheWeakestGlyph)
{
	EXPECT_NEAR(softConfidence(0.9f), 0.905f, 1e-6);
	EXPECT_FLOAT_EQ(softConfidence(1.f), 0.95f);
	EXPECT_NEAR(softConfidence(0.62f), 0.779f, 1e-6);
	EXPECT_NEAR(softConfidence(0.99f), 0.9455f, 1e-6);
}

using SoftReader = test::WithoutTraceSwitches;

TEST_F(SoftReader, ReadsNumbersMadeOfItsSamples)
{
	for (const char *number : {"0", "1", "4", "8", "10", "36", "52", "804", "123", "456"})
		for (int32_t scale : {1, 2, 3})
			for (int32_t gap : {1, 2, 3}) {
				const StatReading r = readSoftGlyphs(sampleNumber(number, scale, gap));
				EXPECT_TRUE(r.ok) << number << " scale " << scale << " gap " << gap;
				EXPECT_EQ(r.text, r.ok ? number : "");
				EXPECT_EQ(r.value, r.ok ? std::stoi(number) : 0);
				EXPECT_EQ(r.digits, r.ok ? int32_t(std::string(number).size()) : 0);
				EXPECT_GE(r.confidence, r.ok ? 0.779f : 0.f);
				EXPECT_LE(r.confidence, 0.95f);
				EXPECT_EQ(r.exactValue, 0.f);
			}
}

TEST_F(SoftReader, ContrastBetweenPercentiles)
{
	// Samples drawn between 100 and 139: the 99.5th and 30th percentiles differ by 39.
	EXPECT_FALSE(readSoftGlyphs(sampleNumber("52", 2, 1, 4, 100, 139)).ok);
	EXPECT_EQ(readSoftGlyphs(sampleNumber("52", 2, 1, 4, 100, 141)).text, "52");
	EXPECT_FALSE(readSoftGlyphs(GrayImage(40, 30, 77)).ok);
}

TEST_F(SoftReader, SizeLimits)
{
	const GrayImage number = sampleNumber("52");
	GrayImage cropped(number.width, 7);
	std::copy(number.pixels.begin() + 10 * number.width, number.pixels.begin() + 17 * number.width,
		  cropped.pixels.begin());
	EXPECT_FALSE(readSoftGlyphs(cropped).ok);
	EXPECT_FALSE(readSoftGlyphs(GrayImage(7, 30, 0)).ok);
	GrayImage truncated = number;
	truncated.pixels.pop_back();
	EXPECT_FALSE(readSoftGlyphs(truncated).ok);
	// A band of bright rows only five high.
	GrayImage flat(40, 20, 10);
	for (int32_t y = 6; y < 11; ++y)
		for (int32_t x = 5; x < 30; ++x)
			flat.at(x, y) = 240;
	EXPECT_FALSE(readSoftGlyphs(flat).ok);
}

TEST_F(SoftReader, EveryGlyphIsScoredAndAnyFailureFailsTheReading)
{
	// A solid block in the middle place: it matches no digit well.
	GrayImage image = sampleNumber("4 2", 2, 2);
	for (int32_t y = 4; y < 48; ++y)
		for (int32_t x = 34; x < 62; ++x)
			image.at(x, y) = 250;
	ScopedEnv debug("VX_DIGIT_DEBUG", "");
	StderrCapture capture;
	const StatReading r = readSoftGlyphs(image);
	const std::string text = capture.finish();
	EXPECT_FALSE(r.ok);
	const std::regex line(R"(  soft n=3 glyph (\d) digit=(\d) s=(-?\d\.\d{3}) second=(-?\d\.\d{3}))");
	std::istringstream in(text);
	int32_t printed = 0;
	bool someFail = false;
	for (std::string l; std::getline(in, l);) {
		std::smatch m;
		ASSERT_TRUE(std::regex_match(l, m, line)) << l;
		EXPECT_EQ(std::stoi(m[1]), printed++);
		const float s = std::stof(m[3]), second = std::stof(m[4]);
		someFail = someFail || s < 0.62f || s - second < 0.06f;
	}
	EXPECT_EQ(printed, 3);
	EXPECT_TRUE(someFail);
}

TEST_F(SoftReader, ConfidenceFollowsTheWeakestPrintedScore)
{
	ScopedEnv debug("VX_DIGIT_DEBUG", "");
	for (const char *number : {"36", "804", "1"}) {
		StderrCapture capture;
		const StatReading r = readSoftGlyphs(sampleNumber(number, 2, 1));
		const std::string text = capture.finish();
		ASSERT_TRUE(r.ok) << number;
		const std::regex score(R"(s=(\d\.\d{3}))");
		float weakest = 1.f;
		for (auto it = std::sregex_iterator(text.begin(), text.end(), score); it != std::sregex_iterator();
		     ++it)
			weakest = std::min(weakest, std::stof((*it)[1]));
		EXPECT_NEAR(r.confidence, std::min(0.95f, 0.5f + 0.45f * weakest), 0.45f * 0.0005f + 1e-6f) << number;
	}
}

TEST_F(SoftReader, RegionsOfMoreThanTwoMillionPixels)
{
	// 2560 x 1440 = 3.7 million pixels: 995 x n overflows 32 bits. The number sits in the middle.
	// The number is drawn large enough for its ink to be more than the brightest 0.5 %.
	const StatReading r = readSoftGlyphs(test::largeRegionWithNumber());
	EXPECT_TRUE(r.ok);
	EXPECT_EQ(r.text, "306");
}

} // namespace
} // namespace ostrelo
