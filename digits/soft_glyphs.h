#pragma once

#include "common/gray_image.h"
#include "common/stat_reading.h"

#include <array>
#include <cstdint>
#include <vector>

namespace ostrelo {

// A glyph sampled without binarising: 14 x 22 cells, row-major, 0 (ground) .. 1 (full ink).
struct SoftGlyph {
	std::array<float, 308> cells{};
};

struct SoftTemplate {
	SoftGlyph glyph;
	int32_t label;
};

// The labelled templates the soft reader compares against: the font digits, the alternative
// shapes and the grey samples (raw and blurred). Built once, on first use.
const std::vector<SoftTemplate> &softLibrary();

// Area-weighted resampling of [x0, x1) x [y0, y1) onto the 14 x 22 grid; pixels count as
// min(1, value / norm) and those outside the image not at all. A norm that is not a positive
// finite number gives an empty glyph.
SoftGlyph sampleSoftGlyph(const GrayImage &image, int32_t x0, int32_t y0, int32_t x1, int32_t y1, float norm);

// 3 x 3 mean, over the neighbours inside the grid.
SoftGlyph blurSoftGlyph(const SoftGlyph &glyph);

// Pearson correlation in -1..1; 0 when either glyph is (nearly) constant.
float correlateSoft(const SoftGlyph &a, const SoftGlyph &b);

// The glyph's score for each digit: its best correlation with that digit's templates, at least 0.
std::array<float, 10> softDigitScores(const SoftGlyph &glyph);

// Reads one to three bright digits on a dark ground from a grey image without binarising it.
StatReading readSoftGlyphs(const GrayImage &gray);

// The steps of readSoftGlyphs, for the tests and for anyone tuning it.

// A run of qualifying entries (count >= minCount) that may skip up to maxGap entries; first and
// last are -1 when nothing qualifies.
struct SoftRun {
	int32_t first = -1;
	int32_t last = -1;
	int64_t sum = 0;
};
// The run with the largest sum of counts; a later run replaces it only with a strictly larger sum.
SoftRun findSoftRun(const std::vector<int32_t> &counts, int32_t minCount, int32_t maxGap);

// How many glyphs a span of bright columns holds: spanW / (0.6 bandH), rounded, 1 to 3.
int32_t softGlyphCount(int32_t spanW, int32_t bandH);

// Offsets within the span where glyphs begin, plus the span's width at the end: each nominal
// cut moves to the darkest column nearby.
std::vector<int32_t> softCuts(const std::vector<float> &colSum, int32_t n);

// Whether a glyph's best score reads: at least 0.62 and 0.06 ahead of every other digit.
bool softGlyphClear(float score, float second);

// The reading's confidence from its weakest glyph score.
float softConfidence(float minScore);

} // namespace ostrelo
