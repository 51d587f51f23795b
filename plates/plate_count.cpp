// Counting the lit cells of an upright plates bar, column by column.

#include "plates/plates_internal.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define OSTRELO_PLATES_SSE2 1
#endif

namespace ostrelo::plates {

namespace {

bool isReadableBar(const RgbaCrop &bar)
{
	return isReadableCrop(bar) && bar.width >= 12 && bar.height >= 8;
}

std::vector<int32_t> rowCounts(const Mask &mask)
{
	std::vector<int32_t> rows(size_t(mask.height), 0);
	for (int32_t y = 0; y < mask.height; ++y)
		for (int32_t x = 0; x < mask.width; ++x)
			rows[size_t(y)] += mask.at(x, y);
	return rows;
}

float fillOf(const Segment &seg, const std::vector<int32_t> &profile, int32_t w, int32_t bandHeight)
{
	int64_t sum = 0;
	const int64_t end = std::min<int64_t>(int64_t(seg.first) + w, int64_t(profile.size()));
	for (int64_t x = seg.first; x < end; ++x)
		sum += profile[size_t(x)];
	return float(sum) / float(int64_t(w) * bandHeight);
}

} // namespace

bool isPlateBlueByFloats(uint8_t R, uint8_t G, uint8_t B)
{
	if (int(B) < int(G) - 20 || int(G) + int(B) <= 2 * int(R) + 20)
		return false;
	const float r = float(R) / 255.f, g = float(G) / 255.f, b = float(B) / 255.f;
	const float mx = std::max({r, g, b});
	const float delta = mx - std::min({r, g, b});
	float hue = 0.f;
	if (delta > 0.f) {
		if (mx == r)
			hue = 60.f * std::fmod((g - b) / delta, 6.f);
		else if (mx == g)
			hue = 60.f * ((b - r) / delta + 2.f);
		else
			hue = 60.f * ((r - g) / delta + 4.f);
		if (hue < 0.f)
			hue += 360.f;
	}
	const float saturation = mx > 0.f ? delta / mx : 0.f;
	return hue >= 170.f && hue <= 220.f && saturation >= 0.16f && mx >= 0.32f;
}

namespace {

// isPlateBlue, inline in the mask's loop.
inline bool blue(uint8_t R, uint8_t G, uint8_t B)
{
	// The integer rules first: they turn away the dark ground of the HUD without float work.
	if (int(B) < int(G) - 20 || int(G) + int(B) <= 2 * int(R) + 20)
		return false;
	// Past them red is never the largest channel. The float rules in whole numbers: the value
	// max / 255 >= 0.32, the saturation delta / max >= 0.16 and the hue between 170 and 220
	// degrees, a ratio of channel differences between two fractions. Float rounding can only
	// tell where such a ratio lies when it is one of those fractions exactly; the floats decide
	// those colours (and the tests hold every colour to them).
	const int32_t r = R, g = G, b = B;
	const int32_t mx = std::max(g, b);
	if (mx < 82)
		return false;
	const int32_t delta = mx - std::min({r, g, b});
	const int32_t saturated = 25 * delta - 4 * mx;
	// Green largest (also on a tie with blue): hue = 60 ((b - r) / delta + 2); blue largest:
	// hue = 60 ((r - g) / delta + 4).
	const int32_t above = g >= b ? 6 * (b - r) - 5 * delta : 7 * delta - 6 * (g - r);
	const int32_t below = g >= b ? 5 * delta - 3 * (b - r) : 3 * (g - r) - delta;
	if (saturated == 0 || above == 0 || below == 0)
		return isPlateBlueByFloats(R, G, B);
	return saturated > 0 && above > 0 && below > 0;
}

#ifdef OSTRELO_PLATES_SSE2
// blue() for the eight pixels at p, as 0 or 1 in eight bytes; false when a colour lies on one
// of the float rules' fractions, which only the scalar rules decide. The same whole-number
// rules in 16-bit lanes: no term leaves -3000 ... 6400.
bool blue8(const uint8_t *p, uint8_t *bits, int64_t &setCount)
{
	const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
	const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
	const __m128i low = _mm_set1_epi32(0xff);
	const auto channel = [&](int shift) {
		return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(v0, shift), low),
				       _mm_and_si128(_mm_srli_epi32(v1, shift), low));
	};
	const __m128i r = channel(0), g = channel(8), b = channel(16);
	const auto times = [](__m128i x, int16_t k) { return _mm_mullo_epi16(x, _mm_set1_epi16(k)); };
	const __m128i zero = _mm_setzero_si128();

	// Turned away unless B >= G - 20, G + B > 2R + 20 (2R + 21 > G + B turns away) and max >= 82.
	const __m128i rejected = _mm_or_si128(
		_mm_or_si128(_mm_cmplt_epi16(b, _mm_sub_epi16(g, _mm_set1_epi16(20))),
			     _mm_cmpgt_epi16(_mm_add_epi16(times(r, 2), _mm_set1_epi16(21)), _mm_add_epi16(g, b))),
		_mm_cmplt_epi16(_mm_max_epi16(g, b), _mm_set1_epi16(82)));
	const __m128i mx = _mm_max_epi16(g, b);
	const __m128i delta = _mm_sub_epi16(mx, _mm_min_epi16(r, _mm_min_epi16(g, b)));
	const __m128i saturated = _mm_sub_epi16(times(delta, 25), times(mx, 4));
	const __m128i greenLargest = _mm_cmpeq_epi16(mx, g); // g >= b
	const __m128i bMinusR = _mm_sub_epi16(b, r), gMinusR = _mm_sub_epi16(g, r);
	const auto pick = [&](__m128i ifGreen, __m128i ifBlue) {
		return _mm_or_si128(_mm_and_si128(greenLargest, ifGreen), _mm_andnot_si128(greenLargest, ifBlue));
	};
	const __m128i above = pick(_mm_sub_epi16(times(bMinusR, 6), times(delta, 5)),
				   _mm_sub_epi16(times(delta, 7), times(gMinusR, 6)));
	const __m128i below =
		pick(_mm_sub_epi16(times(delta, 5), times(bMinusR, 3)), _mm_sub_epi16(times(gMinusR, 3), delta));
	const __m128i tie = _mm_andnot_si128(
		rejected, _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(saturated, zero), _mm_cmpeq_epi16(above, zero)),
				       _mm_cmpeq_epi16(below, zero)));
	if (_mm_movemask_epi8(tie) != 0)
		return false;
	const __m128i set = _mm_andnot_si128(
		rejected, _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi16(saturated, zero), _mm_cmpgt_epi16(above, zero)),
					_mm_cmpgt_epi16(below, zero)));
	const __m128i ones = _mm_and_si128(_mm_packs_epi16(set, zero), _mm_set1_epi8(1));
	_mm_storel_epi64(reinterpret_cast<__m128i *>(bits), ones);
	// The sum of the eight bytes, each 0 or 1 (the plug-in targets x86-64 without popcount).
	setCount += _mm_cvtsi128_si32(_mm_sad_epu8(ones, zero));
	return true;
}
#endif

} // namespace

bool isPlateBlue(uint8_t R, uint8_t G, uint8_t B)
{
	return blue(R, G, B);
}

Mask plateMask(const RgbaCrop &image)
{
	Mask mask;
	if (!isReadableCrop(image))
		return mask;
	mask.width = image.width;
	mask.height = image.height;
	mask.bits.assign(size_t(image.width) * size_t(image.height), 0);
	for (int32_t y = 0; y < image.height; ++y) {
		const uint8_t *p = image.pixel(0, y);
		uint8_t *bits = mask.bits.data() + size_t(y) * size_t(image.width);
		int32_t x = 0;
#ifdef OSTRELO_PLATES_SSE2
		for (; x + 8 <= image.width; x += 8, p += 32)
			if (!blue8(p, bits + x, mask.setCount))
				for (int32_t i = 0; i < 8; ++i)
					if (blue(p[4 * i], p[4 * i + 1], p[4 * i + 2])) {
						bits[x + i] = 1;
						++mask.setCount;
					}
#endif
		for (; x < image.width; ++x, p += 4)
			if (blue(p[0], p[1], p[2])) {
				bits[x] = 1;
				++mask.setCount;
			}
	}
	return mask;
}

Mask shearMask(const Mask &mask, float s)
{
	Mask out{mask.width, mask.height, std::vector<uint8_t>(mask.bits.size(), 0)};
	std::vector<int64_t> offsets(size_t(std::max(mask.width, 0)));
	for (int32_t x = 0; x < mask.width; ++x)
		offsets[size_t(x)] = shearOffset(x, mask.width, s);
	// Row by row, so that the writes run along the rows.
	for (int32_t y = 0; y < mask.height; ++y) {
		uint8_t *row = out.bits.data() + size_t(y) * size_t(mask.width);
		for (int32_t x = 0; x < mask.width; ++x) {
			const int64_t from = y - offsets[size_t(x)];
			if (from >= 0 && from < mask.height)
				row[x] = mask.at(x, int32_t(from));
		}
	}
	return out;
}

ShearedRows::ShearedRows(const Mask &mask) : width_(std::max(mask.width, 0)), height_(std::max(mask.height, 0))
{
	const size_t height = size_t(height_), width = size_t(width_);
	before_.assign((width + 1) * height, 0);
	for (size_t x = 0; x < width; ++x) {
		const int32_t *left = before_.data() + x * height;
		int32_t *right = before_.data() + (x + 1) * height;
		for (size_t y = 0; y < height; ++y)
			right[y] = left[y] + (mask.bits[y * width + x] != 0 ? 1 : 0);
	}
}

void ShearedRows::countAt(float s, std::vector<int32_t> &rows) const
{
	const size_t height = size_t(height_);
	rows.assign(height, 0);
	for (int32_t x0 = 0; x0 < width_;) {
		const int32_t d = shearOffset(x0, width_, s);
		// The offsets never turn back along the row (each step of their computation rounds
		// monotonically), so the columns sharing d end where bisection finds the first other.
		int32_t x1 = x0 + 1, beyond = width_;
		while (x1 < beyond) {
			const int32_t mid = x1 + (beyond - x1) / 2;
			if (shearOffset(mid, width_, s) == d)
				x1 = mid + 1;
			else
				beyond = mid;
		}
		// Rows y of the mask land on y + d; those that leave the mask are lost.
		const int64_t y0 = std::max<int64_t>(0, -int64_t(d));
		const int64_t y1 = std::min<int64_t>(int64_t(height), int64_t(height) - d);
		const int32_t *left = before_.data() + size_t(x0) * height;
		const int32_t *right = before_.data() + size_t(x1) * height;
		for (int64_t y = y0; y < y1; ++y)
			rows[size_t(y + d)] += right[y] - left[y];
		x0 = x1;
	}
}

ShearSearch searchShear(const ShearedRows &sheared)
{
	ShearSearch best;
	int32_t bestScore = -1;
	std::vector<int32_t> rows, bestRows;
	for (int k = -10; k <= 10; ++k) {
		const float s = float(k) * 0.01f;
		sheared.countAt(s, rows);
		// The fullest row; 0 when no set pixel stays in the mask.
		int32_t score = 0;
		for (const int32_t r : rows)
			score = std::max(score, r);
		if (score > bestScore) {
			bestScore = score;
			best.shear = s;
			bestRows.swap(rows);
		}
	}
	best.band = rowBandOf(bestRows);
	return best;
}

float findShear(const Mask &mask)
{
	return searchShear(ShearedRows(mask)).shear;
}

float barShear(const Mask &mask, float coarse, const RowBand &band)
{
	// The set pixels of the band the shear search found, in the mask's own rows, visited row
	// by row. Every sum is of whole numbers far below 2^53 (even for a whole 8K frame), so the
	// doubles hold them exactly in any order.
	const int32_t reach = band.height() / 2;
	const int64_t lowest = int64_t(band.first) - reach, highest = int64_t(band.last) + reach;
	std::vector<int32_t> offsets(size_t(std::max(mask.width, 0)));
	for (int32_t x = 0; x < mask.width; ++x)
		offsets[size_t(x)] = shearOffset(x, mask.width, coarse);
	double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
	for (int32_t y = 0; y < mask.height; ++y) {
		const uint8_t *bits = mask.bits.data() + size_t(y) * size_t(mask.width);
		for (int32_t x = 0; x < mask.width; ++x) {
			const int64_t row = int64_t(y) + offsets[size_t(x)];
			if (!bits[x] || row < lowest || row > highest)
				continue;
			n += 1;
			sx += x;
			sy += y;
			sxx += double(x) * x;
			sxy += double(x) * y;
		}
	}
	const double spread = n * sxx - sx * sx;
	if (n < 2 || spread <= 0)
		return coarse;
	// Straightening a slope m takes the shear -m.
	const double slope = (n * sxy - sx * sy) / spread;
	return float(std::clamp(-slope, -0.1, 0.1));
}

RowBand findRowBand(const Mask &sheared)
{
	return rowBandOf(rowCounts(sheared));
}

RowBand rowBandOf(const std::vector<int32_t> &rows)
{
	RowBand band;
	if (rows.empty())
		return band;
	band.peakCount = *std::max_element(rows.begin(), rows.end());
	// The runs of rows holding at least 60 % of the fullest one; the band is the run with the
	// most pixels, the first on equal counts. A thin line across the cells (a border, a
	// highlight) or a row of glow as full as the cells then cannot cut the band down to a row.
	const int64_t need = int64_t(band.peakCount) * 6;
	const int32_t height = int32_t(rows.size());
	int64_t bestSum = -1;
	for (int32_t y = 0; y < height;) {
		if (int64_t(rows[size_t(y)]) * 10 < need) {
			++y;
			continue;
		}
		const int32_t first = y;
		int64_t sum = 0;
		for (; y < height && int64_t(rows[size_t(y)]) * 10 >= need; ++y)
			sum += rows[size_t(y)];
		if (sum > bestSum) {
			bestSum = sum;
			band.first = first;
			band.last = y - 1;
		}
	}
	return band;
}

std::vector<int32_t> columnProfile(const Mask &sheared, const RowBand &band)
{
	std::vector<int32_t> profile(size_t(sheared.width), 0);
	for (int32_t y = band.first; y <= band.last; ++y)
		for (int32_t x = 0; x < sheared.width; ++x)
			profile[size_t(x)] += sheared.at(x, y);
	return profile;
}

std::vector<int32_t> shearedProfile(const Mask &mask, float s, const RowBand &band)
{
	std::vector<int32_t> offsets(size_t(std::max(mask.width, 0)));
	for (int32_t x = 0; x < mask.width; ++x)
		offsets[size_t(x)] = shearOffset(x, mask.width, s);
	std::vector<int32_t> profile(size_t(std::max(mask.width, 0)), 0);
	for (int32_t y = band.first; y <= band.last; ++y)
		for (int32_t x = 0; x < mask.width; ++x) {
			const int64_t from = int64_t(y) - offsets[size_t(x)];
			if (from >= 0 && from < mask.height)
				profile[size_t(x)] += mask.at(x, int32_t(from));
		}
	return profile;
}

int32_t columnThreshold(const RowBand &band)
{
	return std::max(2, band.height() / 3);
}

std::vector<Segment> findSegments(const std::vector<int32_t> &profile, int32_t threshold)
{
	std::vector<Segment> segments;
	const int32_t width = int32_t(profile.size());
	for (int32_t x = 0; x < width;) {
		if (profile[size_t(x)] < threshold) {
			++x;
			continue;
		}
		const int32_t first = x;
		while (x < width && profile[size_t(x)] >= threshold)
			++x;
		if (x - first >= 6)
			segments.push_back({first, x - 1, x - first});
	}
	return segments;
}

std::vector<Segment> splitMergedCells(const std::vector<Segment> &segments, const std::vector<int32_t> &profile)
{
	int32_t l1 = 0, l2 = 0;
	for (const Segment &seg : segments) {
		if (seg.length >= l1) {
			l2 = l1;
			l1 = seg.length;
		} else if (seg.length > l2) {
			l2 = seg.length;
		}
	}

	std::vector<Segment> split;
	for (const Segment &seg : segments) {
		const bool candidate = seg.length >= 80 || (l2 >= 20 && int64_t(seg.length) * 5 >= int64_t(l2) * 9);
		int32_t valley = -1;
		if (candidate) {
			// Largest p to the left of every column and to the right of it, within the segment.
			const size_t n = size_t(seg.length);
			std::vector<int32_t> leftMax(n), rightMax(n);
			for (size_t i = 0; i < n; ++i)
				leftMax[i] = std::max(i ? leftMax[i - 1] : 0, profile[size_t(seg.first) + i]);
			for (size_t i = n; i-- > 0;)
				rightMax[i] = std::max(i + 1 < n ? rightMax[i + 1] : 0, profile[size_t(seg.first) + i]);

			const int32_t margin = std::max(8, seg.length / 6);
			int32_t lowest = 999;
			for (int32_t j = seg.first + margin; j <= seg.last - margin; ++j) {
				const int32_t pj = profile[size_t(j)];
				if (pj > profile[size_t(j - 1)] && pj > profile[size_t(j + 1)])
					continue;
				const size_t i = size_t(j - seg.first);
				if (pj < leftMax[i - 1] && pj < rightMax[i + 1] && pj <= lowest) {
					lowest = pj;
					valley = j;
				}
			}
		}
		if (valley < 0) {
			split.push_back(seg);
			continue;
		}
		if (valley - seg.first >= 6)
			split.push_back({seg.first, valley - 1, valley - seg.first});
		if (seg.last - valley >= 6)
			split.push_back({valley + 1, seg.last, seg.last - valley});
	}
	return split.size() > segments.size() ? split : segments;
}

int32_t plateWidth(const std::vector<Segment> &segments)
{
	int32_t lmax = 0;
	for (const Segment &seg : segments)
		lmax = std::max(lmax, seg.length);
	std::vector<int32_t> lengths;
	for (const Segment &seg : segments)
		if (int64_t(seg.length) * 5 >= int64_t(lmax) * 2)
			lengths.push_back(seg.length);
	if (lengths.empty())
		return 0;
	std::sort(lengths.begin(), lengths.end());
	return lengths[lengths.size() / 2];
}

PlateScore scorePlates(const std::vector<Segment> &segments, const std::vector<int32_t> &profile, int32_t w,
		       int32_t bandHeight)
{
	PlateScore score;
	if (w <= 0 || bandHeight <= 0)
		return score;
	std::vector<float> fills;
	for (const Segment &seg : segments)
		fills.push_back(fillOf(seg, profile, w, bandHeight));
	for (size_t k = 0; k < fills.size(); ++k)
		if (fills[k] >= 0.3f)
			score.lastFilled = int32_t(k);
	for (size_t k = 0; k < fills.size(); ++k) {
		float s = fills[k] >= 0.7f ? 1.f : fills[k] >= 0.3f ? 0.5f : 0.f;
		if (s == 0.5f && int32_t(k) < score.lastFilled)
			s = 1.f;
		if (s > 0.f) {
			score.sum += s;
			++score.scored;
		}
	}
	return score;
}

float tailProbe(const std::vector<int32_t> &profile, int32_t lastColumn, int32_t w, int32_t threshold)
{
	const int64_t width = int64_t(profile.size());
	const int64_t start = int64_t(lastColumn) + 2;
	if (start >= width || w < 5)
		return 0.f;
	int64_t examined = 0, lit = 0;
	for (int64_t x = start; x <= int64_t(lastColumn) + 1 + w && x < width; ++x) {
		++examined;
		lit += profile[size_t(x)] >= threshold;
	}
	if (examined == 0)
		return 0.f;
	const float share = float(lit) / float(examined);
	return share >= 0.7f ? 1.f : share >= 0.3f ? 0.5f : 0.f;
}

namespace {

std::optional<float> countByCells(const RgbaCrop &bar, const Mask &mask, const ShearedRows &rows,
				  const ShearSearch &searched, bool perspective)
{
	// The cells' colours are read along the bar's own slope: the shear search only needs some
	// slope that gathers a full row, and on a straight bar many do.
	const float shear = barShear(mask, searched.shear, searched.band);
	std::vector<int32_t> counts;
	rows.countAt(shear, counts);
	const RowBand band = rowBandOf(counts);
	if (band.peakCount < 4)
		return std::nullopt;
	const std::vector<int32_t> profile = shearedProfile(mask, shear, band);
	// A column is lit when most of the band is blue there: where a lit edge is blurred, glows
	// or bleeds blue into its neighbours, that is where the edge was drawn.
	const int32_t threshold = std::max(2, band.height() / 2 + 1);
	const std::vector<Segment> lit = findSegments(profile, threshold);
	if (lit.empty())
		return std::nullopt;
	std::vector<bool> litColumns(profile.size());
	for (size_t x = 0; x < profile.size(); ++x)
		litColumns[x] = profile[x] >= threshold;
	const std::optional<CellGrid> grid = fitCellGrid(columnColours(bar, shear, band), litColumns,
							 LitSpan{lit.front().first, lit.back().last, lit.front().last},
							 GridSearch{band.height(), perspective});
	if (!grid)
		return std::nullopt;
	return gridCount(*grid, lit.back().last);
}

} // namespace

PlateCount countPlates(const RgbaCrop &bar, bool perspective)
{
	PlateCount result;
	if (!isReadableBar(bar))
		return result;
	result.found = true;

	const Mask mask = plateMask(bar);
	if (mask.setCount < 8)
		return result;

	// The bar's cells measured from the whole bar, lit, unlit and gaps, when they show.
	const ShearedRows rows(mask);
	const ShearSearch searched = searchShear(rows);
	if (const std::optional<float> cells = countByCells(bar, mask, rows, searched, perspective)) {
		result.count = *cells;
		return result;
	}

	// Otherwise from the lit cells alone.
	const RowBand &band = searched.band;
	if (band.peakCount < 4)
		return result;
	const std::vector<int32_t> profile = shearedProfile(mask, searched.shear, band);
	const int32_t threshold = columnThreshold(band);
	const std::vector<Segment> segments = splitMergedCells(findSegments(profile, threshold), profile);
	// One lit run and nothing else to measure the cells by: a whole cell and a half one look
	// the same, and a guess would be posted as a plain wrong number. No reading instead.
	if (segments.size() == 1) {
		result.found = false;
		return result;
	}
	const int32_t w = plateWidth(segments);
	PlateScore score = scorePlates(segments, profile, w, band.height());
	if ((score.scored == 1 || score.scored == 2) && w > 0)
		score.sum += tailProbe(profile, segments[size_t(score.lastFilled)].last, w, threshold);

	result.count = std::round(2.f * std::min(score.sum, 3.f)) / 2.f;
	return result;
}

} // namespace ostrelo::plates
