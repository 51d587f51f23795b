// The digit readers on HUD-sized crops. The digits are the condensed bold grey samples of the soft
// reader, scaled by area to about three quarters of the crop's height, as a HUD counter draws them.
#include "digits/digit_reader.h"
#include "digits/glyph_templates.h"
#include "digits/learned_reader.h"
#include "test_support.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace ostrelo;

GrayImage hudCrop(const std::string &number, int32_t w, int32_t h, int32_t digitHeight)
{
	const GrayImage big = test::sampleNumber(number, 4, 4, 0, 20, 240);
	const int32_t dw = int32_t(int64_t(big.width) * digitHeight / big.height);
	const GrayImage small = resizeBilinear(big, dw, digitHeight);
	GrayImage crop(w, h, 20);
	const int32_t ox = (w - dw) / 2, oy = (h - digitHeight) / 2;
	for (int32_t y = 0; y < digitHeight; ++y)
		for (int32_t x = 0; x < dw; ++x)
			crop.at(ox + x, oy + y) = small.at(x, y);
	return crop;
}

GrayImage noise(int32_t w, int32_t h, uint32_t seed)
{
	GrayImage crop(w, h);
	std::mt19937 rng(seed);
	for (uint8_t &p : crop.pixels)
		p = uint8_t(60 + rng() % 100);
	return crop;
}

// Times read(); when `expected` is given, only after checking that read() gives it.
template <typename Read>
void timeReads(benchmark::State &state, Read read, const char *expected)
{
	if (expected && read().text != expected) {
		state.SkipWithError("the crop does not read as expected");
		return;
	}
	for (auto _ : state)
		benchmark::DoNotOptimize(read());
}

void BM_ReadDigits_720p(benchmark::State &state)
{
	const GrayImage crop = hudCrop("26", 28, 15, 12);
	timeReads(
		state, [&] { return readDigits(crop); }, "26");
}
void BM_ReadDigits_1080p(benchmark::State &state)
{
	const GrayImage crop = hudCrop("26", 42, 22, 16);
	timeReads(
		state, [&] { return readDigits(crop); }, "26");
}
void BM_ReadDigits_4K(benchmark::State &state)
{
	const GrayImage crop = hudCrop("26", 84, 44, 32);
	timeReads(
		state, [&] { return readDigits(crop); }, "26");
}
BENCHMARK(BM_ReadDigits_720p);
BENCHMARK(BM_ReadDigits_1080p);
BENCHMARK(BM_ReadDigits_4K);

// A crop nothing can be read from: every binarisation is tried.
void BM_ReadDigits_1080p_Unreadable(benchmark::State &state)
{
	const GrayImage crop = noise(42, 22, 1);
	timeReads(
		state, [&] { return readDigits(crop); }, nullptr);
}
BENCHMARK(BM_ReadDigits_1080p_Unreadable);

// The placement on a 1080p end card: 120 x 72, read at its own size.
void BM_ReadDigitsMultiScale_EndCard(benchmark::State &state)
{
	const GrayImage crop = hudCrop("26", 120, 72, 48);
	timeReads(
		state, [&] { return readDigitsMultiScale(crop); }, "26");
}
BENCHMARK(BM_ReadDigitsMultiScale_EndCard);

// The same size without digits: six more heights and the open-four test.
void BM_ReadDigitsMultiScale_EndCard_Unreadable(benchmark::State &state)
{
	const GrayImage crop = noise(120, 72, 2);
	timeReads(
		state, [&] { return readDigitsMultiScale(crop); }, nullptr);
}
BENCHMARK(BM_ReadDigitsMultiScale_EndCard_Unreadable);

// A red counter of a 1080p frame, as the filter crops it (tightly packed RGBA).
void BM_ReadRedDigits_1080p(benchmark::State &state)
{
	const RgbaImage crop = test::tint(hudCrop("26", 42, 22, 16), 235, 40, 30, 18, 18, 18);
	timeReads(
		state, [&] { return readRedDigits(crop.view()); }, "26");
}
BENCHMARK(BM_ReadRedDigits_1080p);

// The learned reader on a typical 1080p counter crop (60 x 24, RGBA as the filter cuts it), and
// the template reader on the same crop, for the ratio between the two.
RgbaImage counterCrop()
{
	return test::tint(hudCrop("26", 60, 24, 16), 240, 240, 240, 20, 20, 20);
}

void BM_ReadLearned_1080p(benchmark::State &state)
{
	const RgbaImage crop = counterCrop();
	timeReads(
		state, [&] { return readLearned(crop.view()).reading; }, "26");
}
BENCHMARK(BM_ReadLearned_1080p);

void BM_ReadDigits_1080p_SameCrop(benchmark::State &state)
{
	const RgbaImage crop = counterCrop();
	timeReads(
		state, [&] { return readDigits(toGray(crop.view())); }, "26");
}
BENCHMARK(BM_ReadDigits_1080p_SameCrop);

void BM_ReadSoftGlyphs_1080p(benchmark::State &state)
{
	const GrayImage crop = hudCrop("26", 42, 22, 16);
	timeReads(
		state, [&] { return readSoftGlyphs(crop); }, "26");
}
BENCHMARK(BM_ReadSoftGlyphs_1080p);

// Scoring one glyph against all ten digits: packed grids against the plain definition.
GrayImage someGlyph()
{
	GrayImage g = renderFontDigit(3);
	g.at(0, 5) = 255;
	g.at(7, 10) = 0;
	return g;
}

void BM_DigitScores_Packed(benchmark::State &state)
{
	const GrayImage g = someGlyph();
	for (auto _ : state)
		benchmark::DoNotOptimize(digitScores(g));
}
BENCHMARK(BM_DigitScores_Packed);

void BM_DigitScores_Plain(benchmark::State &state)
{
	const GrayImage g = someGlyph();
	for (auto _ : state) {
		std::array<float, 10> scores{};
		const GrayImage gd = dilateImage(g);
		for (int32_t d = 0; d < 10; ++d) {
			const GrayImage f = renderFontDigit(d);
			float best = std::max({matchScore(g, f), matchScore(gd, f), matchScore(g, dilateImage(f))});
			for (size_t i = 0; i < altGlyphs.size(); ++i)
				if (altGlyphs[i].digit == d)
					best = std::max(best, matchScore(g, renderAltGlyph(int32_t(i))));
			scores[size_t(d)] = best;
		}
		benchmark::DoNotOptimize(scores);
	}
}
BENCHMARK(BM_DigitScores_Plain);

} // namespace
