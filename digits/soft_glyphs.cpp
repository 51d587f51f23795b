#include "digits/soft_glyphs.h"

#include "common/debug_env.h"
#include "digits/glyph_templates.h"
#include "digits/grey_glyphs.h"
#include "digits/image_prep.h"
#include "digits/score_margin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace ostrelo {
namespace {

constexpr int32_t kCells = 308;
constexpr int32_t kW = 14;
constexpr int32_t kH = 22;

// A glyph with its mean taken out, so that each correlation is one pass of products.
struct Centered {
	std::array<double, kCells> d{};
	double v = 0.0; // sum of squares
};

Centered center(const SoftGlyph &g)
{
	double sum = 0.0;
	for (float c : g.cells)
		sum += double(c);
	const double mean = sum / kCells;
	Centered out;
	for (int32_t i = 0; i < kCells; ++i) {
		out.d[size_t(i)] = double(g.cells[size_t(i)]) - mean;
		out.v += out.d[size_t(i)] * out.d[size_t(i)];
	}
	return out;
}

float correlateCentered(const Centered &a, const Centered &b)
{
	if (a.v < 1e-6 || b.v < 1e-6)
		return 0.f;
	double cov = 0.0;
	for (int32_t i = 0; i < kCells; ++i)
		cov += a.d[size_t(i)] * b.d[size_t(i)];
	return float(cov / std::sqrt(a.v * b.v));
}

struct Library {
	std::vector<SoftTemplate> entries;
	std::vector<Centered> centered;
	// centered[t].d[i] at [i * size + t]: a glyph is correlated with all templates in one sweep
	// over its cells, so the templates' sums run side by side instead of one after the other.
	std::vector<double> interleaved;
};

bool hasInk(const SoftGlyph &g)
{
	return std::any_of(g.cells.begin(), g.cells.end(), [](float c) { return c > 0.f; });
}

// A drawn grid cropped to its ink, resampled and blurred; nothing for a grid without ink.
void addDrawn(Library &lib, const GrayImage &grid, int32_t label)
{
	int32_t x0 = grid.width, y0 = grid.height, x1 = 0, y1 = 0;
	for (int32_t y = 0; y < grid.height; ++y)
		for (int32_t x = 0; x < grid.width; ++x)
			if (isInk(grid.at(x, y))) {
				x0 = std::min(x0, x);
				y0 = std::min(y0, y);
				x1 = std::max(x1, x + 1);
				y1 = std::max(y1, y + 1);
			}
	if (x1 <= x0)
		return;
	lib.entries.push_back(SoftTemplate{blurSoftGlyph(sampleSoftGlyph(grid, x0, y0, x1, y1, 255.f)), label});
}

const Library &library()
{
	// Built once, on first use from whichever thread reads first; read-only afterwards.
	static const Library lib = [] {
		Library built;
		for (int32_t d = 0; d < 10; ++d)
			addDrawn(built, renderFontDigit(d), d);
		for (size_t i = 0; i < altGlyphs.size(); ++i)
			addDrawn(built, renderAltGlyph(int32_t(i)), altGlyphs[i].digit);
		for (const GreyGlyph &g : greyGlyphs) {
			SoftGlyph raw;
			for (int32_t i = 0; i < kCells; ++i)
				raw.cells[size_t(i)] = float(g.pixels[i]) / 255.f;
			if (!hasInk(raw))
				continue;
			built.entries.push_back(SoftTemplate{raw, g.label});
			built.entries.push_back(SoftTemplate{blurSoftGlyph(raw), g.label});
		}
		for (const SoftTemplate &t : built.entries)
			built.centered.push_back(center(t.glyph));
		const size_t size = built.entries.size();
		built.interleaved.resize(size * kCells);
		for (size_t t = 0; t < size; ++t)
			for (size_t i = 0; i < size_t(kCells); ++i)
				built.interleaved[i * size + t] = built.centered[t].d[i];
		return built;
	}();
	return lib;
}

// The integer range [floor(lo), ceil(hi)) limited to [0, size), safe for any float.
std::pair<int32_t, int32_t> pixelRange(float lo, float hi, int32_t size)
{
	const double first = std::max(0.0, std::min(double(size), std::floor(double(lo))));
	const double end = std::max(0.0, std::min(double(size), std::ceil(double(hi))));
	if (std::isnan(first) || std::isnan(end))
		return {0, 0};
	return {int32_t(first), int32_t(end)};
}

// Pixels of at least 110 in rows top..bottom, counted per row or per column.
std::vector<int32_t> brightCounts(const GrayImage &st, int32_t top, int32_t bottom, bool perColumn)
{
	std::vector<int32_t> counts(size_t(perColumn ? st.width : st.height), 0);
	for (int32_t y = top; y <= bottom; ++y) {
		const uint8_t *row = st.row(y);
		for (int32_t x = 0; x < st.width; ++x)
			counts[size_t(perColumn ? x : y)] += row[x] >= 110 ? 1 : 0;
	}
	return counts;
}

// The image with lo .. hi stretched to 0 .. 255 (hi > lo), clamped.
GrayImage stretchBetween(const GrayImage &gray, int32_t lo, int32_t hi)
{
	GrayImage st(gray.width, gray.height);
	for (size_t i = 0; i < gray.pixels.size(); ++i)
		st.pixels[i] = uint8_t(std::clamp((int32_t(gray.pixels[i]) - lo) * 255 / (hi - lo), 0, 255));
	return st;
}

// Sums of the columns left .. left + n - 1 over rows top .. bottom, each added top to bottom.
std::vector<float> columnSums(const GrayImage &st, int32_t left, int32_t n, int32_t top, int32_t bottom)
{
	std::vector<float> sums(size_t(n), 0.f);
	for (int32_t k = 0; k < n; ++k)
		for (int32_t y = top; y <= bottom; ++y)
			sums[size_t(k)] += float(st.at(left + k, y));
	return sums;
}

// Every template's correlation with the glyph, each summed over the cells in order exactly as
// correlateSoft sums it; the best per digit, never below 0.
std::array<float, 10> scoreAgainstLibrary(const Library &lib, const Centered &c)
{
	const size_t size = lib.entries.size();
	std::vector<double> cov(size, 0.0);
	for (size_t i = 0; i < size_t(kCells); ++i) {
		const double a = c.d[i];
		const double *column = lib.interleaved.data() + i * size;
		for (size_t t = 0; t < size; ++t)
			cov[t] += a * column[t];
	}
	std::array<float, 10> scores{};
	for (size_t t = 0; t < size; ++t) {
		const double v = lib.centered[t].v;
		const float r = (c.v < 1e-6 || v < 1e-6) ? 0.f : float(cov[t] / std::sqrt(c.v * v));
		const size_t label = size_t(lib.entries[t].label);
		scores[label] = std::max(scores[label], r);
	}
	return scores;
}

} // namespace

std::array<float, 10> softDigitScores(const SoftGlyph &glyph)
{
	return scoreAgainstLibrary(library(), center(glyph));
}

const std::vector<SoftTemplate> &softLibrary()
{
	return library().entries;
}

SoftGlyph sampleSoftGlyph(const GrayImage &image, int32_t x0, int32_t y0, int32_t x1, int32_t y1, float norm)
{
	SoftGlyph out;
	if (!image.wellFormed() || !(norm > 0.f) || std::isinf(norm))
		return out;
	const float spanY = float(int64_t(y1) - y0);
	const float spanX = float(int64_t(x1) - x0);
	struct Span {
		float s, e;
		int32_t first, end;
	};
	std::array<Span, kW> cols;
	for (int32_t k = 0; k < kW; ++k) {
		const float xs = float(x0) + float(k) * spanX / 14.f;
		const float xe = float(x0) + float(k + 1) * spanX / 14.f;
		const auto [first, end] = pixelRange(xs, xe, image.width);
		cols[size_t(k)] = Span{xs, xe, first, end};
	}
	for (int32_t i = 0; i < kH; ++i) {
		const float ys = float(y0) + float(i) * spanY / 22.f;
		const float ye = float(y0) + float(i + 1) * spanY / 22.f;
		const auto [pyStart, pyEnd] = pixelRange(ys, ye, image.height);
		for (int32_t k = 0; k < kW; ++k) {
			const Span &col = cols[size_t(k)];
			float sum = 0.f;
			float total = 0.f;
			for (int32_t py = pyStart; py < pyEnd; ++py) {
				const float wy = std::max(0.f, std::min(ye, float(py) + 1.f) - std::max(ys, float(py)));
				const uint8_t *row = image.row(py);
				for (int32_t px = col.first; px < col.end; ++px) {
					const float wx = std::max(0.f, std::min(col.e, float(px) + 1.f) -
									       std::max(col.s, float(px)));
					const float weight = wx * wy;
					sum += std::min(1.f, float(row[px]) / norm) * weight;
					total += weight;
				}
			}
			out.cells[size_t(i * kW + k)] = total > 0.f ? sum / total : 0.f;
		}
	}
	return out;
}

SoftGlyph blurSoftGlyph(const SoftGlyph &glyph)
{
	SoftGlyph out;
	for (int32_t y = 0; y < kH; ++y) {
		for (int32_t x = 0; x < kW; ++x) {
			float sum = 0.f;
			int32_t count = 0;
			for (int32_t dy = -1; dy <= 1; ++dy) {
				for (int32_t dx = -1; dx <= 1; ++dx) {
					const int32_t nx = x + dx, ny = y + dy;
					if (nx < 0 || ny < 0 || nx >= kW || ny >= kH)
						continue;
					sum += glyph.cells[size_t(ny * kW + nx)];
					++count;
				}
			}
			out.cells[size_t(y * kW + x)] = sum / float(count);
		}
	}
	return out;
}

float correlateSoft(const SoftGlyph &a, const SoftGlyph &b)
{
	return correlateCentered(center(a), center(b));
}

SoftRun findSoftRun(const std::vector<int32_t> &counts, int32_t minCount, int32_t maxGap)
{
	SoftRun best, current;
	int32_t previous = -1;
	for (int32_t i = 0; i < int32_t(counts.size()); ++i) {
		if (counts[size_t(i)] < minCount)
			continue;
		if (previous >= 0 && i - previous - 1 > maxGap) {
			if (best.first < 0 || current.sum > best.sum)
				best = current;
			current = SoftRun();
		}
		if (current.first < 0)
			current.first = i;
		current.last = i;
		current.sum += counts[size_t(i)];
		previous = i;
	}
	if (current.first >= 0 && (best.first < 0 || current.sum > best.sum))
		best = current;
	return best;
}

int32_t softGlyphCount(int32_t spanW, int32_t bandH)
{
	const long n = std::lround(double(spanW) / (double(bandH) * 0.6));
	return int32_t(std::clamp(n, 1L, 3L));
}

std::vector<int32_t> softCuts(const std::vector<float> &colSum, int32_t n)
{
	const int32_t spanW = int32_t(colSum.size());
	std::vector<int32_t> cuts{0};
	for (int32_t j = 1; j < n; ++j) {
		const int32_t nominal = int32_t(int64_t(j) * spanW / n);
		const int32_t reach = std::max(1, spanW / (3 * n));
		int32_t choice = nominal;
		for (int32_t k = std::max(1, nominal - reach); k <= std::min(nominal + reach, spanW - 1); ++k)
			if (colSum[size_t(k)] < colSum[size_t(choice)])
				choice = k;
		cuts.push_back(choice);
	}
	cuts.push_back(spanW);
	return cuts;
}

bool softGlyphClear(float score, float second)
{
	return score >= 0.62f && leadsBy(score, second, 0.06f);
}

float softConfidence(float minScore)
{
	return std::min(0.95f, 0.5f + 0.45f * minScore);
}

StatReading readSoftGlyphs(const GrayImage &gray)
{
	const bool debug = digitDebugEnabled();
	const bool dump = softDumpEnabled();
	if (gray.width < 8 || gray.height < 8 || !gray.wellFormed())
		return StatReading();

	// The 30th and 99.5th percentiles. The indices are 64-bit: 995 x n no longer fits in 32 bits
	// once a region holds more than about 2.16 million pixels.
	const std::array<int64_t, 256> hist = pixelHistogram(gray);
	const int64_t n = gray.size();
	auto valueAt = [&hist](int64_t index) {
		int64_t seen = 0;
		for (int32_t v = 0; v < 256; ++v) {
			seen += hist[size_t(v)];
			if (seen > index)
				return v;
		}
		return 255;
	};
	const int32_t lo = valueAt(3 * n / 10);
	const int32_t hi = valueAt(995 * n / 1000);
	if (hi - lo < 40)
		return StatReading();

	const GrayImage st = stretchBetween(gray, lo, hi);

	const SoftRun band = findSoftRun(brightCounts(st, 0, st.height - 1, false), 2, 1);
	if (band.first < 0)
		return StatReading();
	const int32_t top = band.first;
	const int32_t bottom = band.last;
	const int32_t bandH = bottom - top + 1;
	if (bandH < 6)
		return StatReading();

	const SoftRun span = findSoftRun(brightCounts(st, top, bottom, true), 1, 3);
	if (span.first < 0)
		return StatReading();
	const int32_t left = span.first;
	const int32_t spanW = span.last - span.first + 1;
	if (spanW < 3)
		return StatReading();

	const int32_t glyphs = softGlyphCount(spanW, bandH);
	const std::vector<float> colSum = columnSums(st, left, spanW, top, bottom);
	const std::vector<int32_t> cuts = softCuts(colSum, glyphs);

	const Library &lib = library();
	std::string text;
	float minScore = 1.f;
	bool failed = false;
	// Every glyph is scored, also after one has failed, so the traces show the whole number.
	for (int32_t k = 0; k < glyphs; ++k) {
		int32_t m = left + cuts[size_t(k)];
		int32_t l = left + cuts[size_t(k) + 1];
		while (l - m > 2 && colSum[size_t(m - left)] < 40.f)
			++m;
		while (l - m > 2 && colSum[size_t(l - left - 1)] < 40.f)
			--l;
		if (l - m < 2) {
			failed = true;
			continue;
		}
		const SoftGlyph sg = sampleSoftGlyph(st, m, top, l, bottom + 1, 255.f);
		const std::array<float, 10> scores = scoreAgainstLibrary(lib, center(sg));
		int32_t best = 0;
		for (int32_t d = 1; d < 10; ++d)
			if (scores[size_t(d)] > scores[size_t(best)])
				best = d;
		float second = -1.f;
		for (int32_t d = 0; d < 10; ++d)
			if (d != best)
				second = std::max(second, scores[size_t(d)]);

		if (dump) {
			std::string line = "SOFTGLYPH n=" + std::to_string(glyphs) + " k=" + std::to_string(k) + ":";
			for (float v : sg.cells)
				line += " " + std::to_string(int32_t(v * 255.f + 0.5f));
			line += "\n";
			std::fputs(line.c_str(), stderr);
		}
		if (debug)
			std::fprintf(stderr, "  soft n=%d glyph %d digit=%d s=%.3f second=%.3f\n", glyphs, k, best,
				     double(scores[size_t(best)]), double(second));

		if (!softGlyphClear(scores[size_t(best)], second)) {
			failed = true;
			continue;
		}
		text.push_back(char('0' + best));
		minScore = std::min(minScore, scores[size_t(best)]);
	}
	if (failed)
		return StatReading();

	StatReading r;
	r.ok = true;
	for (char ch : text)
		r.value = r.value * 10 + (ch - '0');
	r.digits = int32_t(text.size());
	r.confidence = softConfidence(minScore);
	r.text = std::move(text);
	return r;
}

} // namespace ostrelo
