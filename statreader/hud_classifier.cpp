#include "statreader/hud_classifier.h"
#include "statreader/hud_classifier_internal.h"
#include "statreader/hud_kernels.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace ostrelo {

namespace hud {

namespace {

// Thresholds of the measures, in the integer form that avoids the shift: luma >= 140 and
// luma >= 200.
constexpr int32_t kBrightWeighted = 35839;
constexpr int32_t kVeryBrightWeighted = 51199;

int32_t weightedLuma(const uint8_t *p)
{
	return 77 * p[0] + 150 * p[1] + 29 * p[2];
}

int32_t roundToInt(float v, int32_t lo, int32_t hi)
{
	// llroundf: lroundf's halves away from zero without its 32-bit long on Windows.
	const long long r = std::llroundf(v);
	return int32_t(std::clamp<long long>(r, lo, hi));
}

// First value of the walk from..to in steps of 2 that is at least lo.
int64_t firstOnStepAtLeast(int64_t from, int64_t lo)
{
	if (from >= lo)
		return from;
	return from + (lo - from + 1) / 2 * 2;
}

// The first pixel of row y of a box; null below the box. Two rows ahead is what the
// kernels prefetch as they read a row (see hud_kernels.h).
const uint8_t *rowOf(const FrameView &frame, const PixelBox &box, int32_t y)
{
	return y < box.y1 ? frame.row(y) + size_t(box.x0) * 4 : nullptr;
}

} // namespace

bool FrameView::usable() const
{
	return data && width >= 64 && height >= 64 && uint64_t(lineSize) >= uint64_t(width) * 4;
}

PixelBox toPixelBox(const FractionBox &box, int32_t width, int32_t height)
{
	const float w = float(width), h = float(height);
	return PixelBox{roundToInt(box.x * w, 0, width), roundToInt(box.y * h, 0, height),
			roundToInt((box.x + box.w) * w, 0, width), roundToInt((box.y + box.h) * h, 0, height)};
}

bool topLeftDetail(const FrameView &frame)
{
	const PixelBox b = toPixelBox(kTopLeftDetailBox, frame.width, frame.height);
	const int64_t n = int64_t(b.width()) * b.height();
	if (n < 2)
		return false;
	uint64_t sum = 0, squares = 0;
	for (int32_t y = b.y0; y < b.y1; ++y)
		addLumaMoments(rowOf(frame, b, y), size_t(b.width()), sum, squares, rowOf(frame, b, y + 2));
	const double mean = double(sum) / double(n);
	const double variance = double(squares) / double(n) - mean * mean;
	return variance > 900.0;
}

bool counterStrip(const FrameView &frame)
{
	const PixelBox b = toPixelBox(kCounterStripBox, frame.width, frame.height);
	std::vector<int32_t> perColumn(size_t(std::max(b.width(), 0)), 0);
	int64_t bright = 0;
	for (int32_t y = b.y0; y < b.y1; ++y) {
		const uint8_t *p = frame.row(y) + size_t(b.x0) * 4;
		for (int32_t x = 0; x < b.width(); ++x, p += 4) {
			if (weightedLuma(p) > kBrightWeighted) {
				++perColumn[size_t(x)];
				++bright;
			}
		}
	}
	int32_t groups = 0;
	bool inGroup = false;
	for (int32_t c : perColumn) {
		const bool inked = c >= 2;
		if (inked && !inGroup)
			++groups;
		inGroup = inked;
	}
	const int64_t area = std::max<int64_t>(1, int64_t(b.width()) * b.height());
	return groups >= 2 && groups <= 4 && bright > area / 50 && bright < area / 2;
}

int32_t barWarmth(const FrameView &frame)
{
	const PixelBox b = toPixelBox(kPlatesBarBox, frame.width, frame.height);
	int64_t runSum = 0, bestSum = 0;
	int32_t runLength = 0, bestLength = 0;
	for (int32_t y = b.y0; y < b.y1; ++y) {
		const int32_t warmCount =
			int32_t(countWarm(frame.row(y) + size_t(b.x0) * 4, size_t(std::max(b.width(), 0))));
		if (warmCount < 6) {
			runSum = 0;
			runLength = 0;
			continue;
		}
		runSum += warmCount;
		++runLength;
		if (runSum > bestSum) {
			bestSum = runSum;
			bestLength = runLength;
		}
	}
	// A downed bar is a thin band; a warm area taller than 16 rows is something else.
	if (bestLength == 0 || bestLength > 16)
		return 0;
	return int32_t(bestSum); // at most 16 rows of a box narrower than the frame
}

int32_t centreBright(const FrameView &frame)
{
	const PixelBox b = toPixelBox(kCentreBox, frame.width, frame.height);
	int64_t count = 0;
	for (int32_t y = b.y0; y < b.y1; ++y)
		count += countWeightedAbove(rowOf(frame, b, y), size_t(b.width()), kVeryBrightWeighted,
					    rowOf(frame, b, y + 2));
	return int32_t(std::min<int64_t>(count, INT32_MAX));
}

bool cardStandsOut(const FrameView &frame, int32_t centreBright)
{
	const PixelBox b = toPixelBox(kCentreBox, frame.width, frame.height);
	std::vector<uint8_t> lit(size_t(std::max(b.width(), 0)), 0);
	for (int32_t y = b.y0; y < b.y1; ++y) {
		const uint8_t *row = frame.row(y) + size_t(b.x0) * 4;
		for (int32_t x = 0; x < b.width(); ++x)
			lit[size_t(x)] |= weightedLuma(row + size_t(x) * 4) > kVeryBrightWeighted ? 1 : 0;
	}
	const int64_t litColumns = std::count(lit.begin(), lit.end(), uint8_t(1));
	if (litColumns * 2 < int64_t(b.width()))
		return false;
	const PixelBox a = toPixelBox(kAboveCardBox, frame.width, frame.height);
	int64_t above = 0;
	for (int32_t y = a.y0; y < a.y1; ++y) {
		const uint8_t *row = frame.row(y) + size_t(a.x0) * 4;
		for (int32_t x = 0; x < a.width(); ++x)
			above += weightedLuma(row + size_t(x) * 4) > kVeryBrightWeighted ? 1 : 0;
	}
	return above * 4 < int64_t(centreBright);
}

int32_t classifierFactor(int32_t height)
{
	const int32_t d = height / 270;
	return d < 2 ? 1 : d;
}

namespace {

// Floor division of a block sum by the block's area d^2 as a multiply and a shift: with
// m = floor(2^40 / D) + 1, floor(n * m / 2^40) = floor(n / D) whenever n * D < 2^40, which
// holds for every block sum (n <= 255 D) while d <= 256. Larger blocks divide.
class BlockDivider {
public:
	explicit BlockDivider(uint32_t area) : area_(area), magic_(area <= 65536 ? (uint64_t(1) << 40) / area + 1 : 0)
	{
	}

	uint32_t operator()(uint32_t n) const { return magic_ ? uint32_t((uint64_t(n) * magic_) >> 40) : n / area_; }

private:
	uint32_t area_;
	uint64_t magic_;
};

constexpr bool isPowerOfTwo(int v)
{
	return v > 0 && (v & (v - 1)) == 0;
}

constexpr int log2Of(int v)
{
	return v > 1 ? 1 + log2Of(v / 2) : 0;
}

// dst[ox] = mean of the d column sums of block ox. D is d when known at compile time (the
// common factors), so that the short sum over the block unrolls; 0 otherwise. A block of a
// power-of-two side divides by a shift, which is what the divider's multiply comes to there,
// and which lets the loop work on several blocks at once.
template <int D, class Pixel>
void blockMeans(const uint32_t *sums, size_t cols, int32_t d, const BlockDivider &divide, Pixel *dst)
{
	const int32_t n = D > 0 ? D : d;
	if constexpr (isPowerOfTwo(D)) {
		for (size_t ox = 0; ox < cols; ++ox) {
			uint32_t sum = 0;
			for (int32_t j = 0; j < D; ++j)
				sum += sums[ox * D + size_t(j)];
			dst[ox] = Pixel(sum >> (2 * log2Of(D)));
		}
		return;
	}
	for (size_t ox = 0; ox < cols; ++ox, sums += n) {
		uint32_t sum = 0;
		for (int32_t j = 0; j < n; ++j)
			sum += sums[j];
		dst[ox] = Pixel(divide(sum));
	}
}

// Writes the block means of the region (in classifier-image pixels, inside the image) to dst,
// row by row, stride values apart.
template <class Pixel>
void reduceRegion(const FrameView &frame, int32_t d, const PixelBox &region, Pixel *dst, size_t stride)
{
	if (region.width() <= 0 || region.height() <= 0)
		return;
	const size_t cols = size_t(region.width());
	const size_t sourceCols = cols * size_t(d);
	const BlockDivider divide(uint32_t(d) * uint32_t(d));
	using Means = void (*)(const uint32_t *, size_t, int32_t, const BlockDivider &, Pixel *);
	// 720p, 1080p, 1440p and 4K have factors 2, 4, 5 and 8.
	static constexpr Means kMeans[] = {blockMeans<0, Pixel>, blockMeans<1, Pixel>, blockMeans<2, Pixel>,
					   blockMeans<3, Pixel>, blockMeans<4, Pixel>, blockMeans<5, Pixel>,
					   blockMeans<6, Pixel>, blockMeans<7, Pixel>, blockMeans<8, Pixel>};
	const Means means = d < int32_t(std::size(kMeans)) ? kMeans[d] : kMeans[0];
	// Column sums over the d rows of a block first, then across the d columns. d * 255 and
	// d^2 * 255 fit 32 bits below 1.1M lines.
	std::vector<uint32_t> columnSums(sourceCols);
	uint32_t *sums = columnSums.data();
	const size_t x0 = size_t(region.x0) * size_t(d) * 4;
	for (int32_t oy = region.y0; oy < region.y1; ++oy, dst += stride) {
		const uint8_t *next = oy + 1 < region.y1 ? frame.row((oy + 1) * d) + x0 : nullptr;
		sumLumaColumns(frame.row(oy * d) + x0, frame.lineSize, d, sourceCols, sums, next);
		means(sums, cols, d, divide, dst);
	}
}

// Zeros at the end of every template row bring it to whole vectors of this many values, so
// the correlation loop has no remainder to finish one value at a time.
constexpr int32_t kRowPadding = 8;

// The part of the classifier image one search reads, widened to 16 bits for the correlation
// loop. Rows are kRowPadding values longer than the box, so that a padded template row never
// reads past its patch row.
struct SearchPatch {
	PixelBox box; // in classifier-image pixels
	size_t stride = 0;
	std::vector<int16_t> pixels;

	explicit SearchPatch(const PixelBox &b)
	    : box(b), stride(size_t(std::max(b.width(), 0)) + kRowPadding),
	      pixels(stride * size_t(std::max(b.height(), 0)) + kRowPadding)
	{
	}
	// The pixel at classifier-image coordinates (x, y), which must lie inside the box.
	const int16_t *at(int64_t x, int64_t y) const
	{
		return pixels.data() + size_t(y - box.y0) * stride + size_t(x - box.x0);
	}
};

// A scaled template widened to 16 bits, its rows padded with zeros to whole vectors.
struct WideTemplate {
	int32_t rowLength = 0;
	std::vector<int16_t> pixels;

	explicit WideTemplate(const ScaledTemplate &t)
	    : rowLength((t.width + kRowPadding - 1) / kRowPadding * kRowPadding),
	      pixels(size_t(rowLength) * size_t(std::max(t.height, 0)))
	{
		for (int32_t i = 0; i < t.height; ++i)
			std::copy_n(t.pixels.data() + size_t(i) * size_t(t.width), size_t(t.width),
				    pixels.data() + size_t(i) * size_t(rowLength));
	}
};

bool fits(int32_t imageWidth, int32_t imageHeight, const ScaledTemplate &tpl, int64_t x, int64_t y)
{
	return x >= 0 && y >= 0 && x + tpl.width <= imageWidth && y + tpl.height <= imageHeight;
}

float normalisedCorrelation(int64_t cross, int64_t sumV, int64_t squaresV, const ScaledTemplate &tpl)
{
	const double n = double(tpl.width) * double(tpl.height);
	const double varV = double(squaresV) - double(sumV) * double(sumV) / n;
	if (varV <= 0.001 || tpl.energy <= 0.001f)
		return -1.f;
	const double num = double(cross) - double(tpl.sum) * double(sumV) / n;
	return float(num / std::sqrt(double(tpl.energy) * varV));
}

// Window sums of v and v^2 for one row of template positions on a grid, as doubles: integers
// below 2^53, so the conversion the correlation makes of them anyway is exact.
struct WindowRow {
	int64_t y = 0;
	std::vector<double> sums, squares;
};

// Calls visit(row) for the rows of template-sized windows with corners on the grid
// x = x0, x0 + step, ... <= x1 and likewise y, top to bottom. Column sums over the template's
// height slide down the grid and a running sum along them gives each window, so the sums
// cost a few operations per window. Column is the type of the column sums: 32 bits hold
// height * 255^2 for any template shorter than 66,000 rows (the classifier image has fewer
// than 540), and take half the work of 64.
template <class Column, class Visit>
void forEachWindowRowOf(const SearchPatch &patch, const ScaledTemplate &tpl, int64_t x0, int64_t x1, int64_t y0,
			int64_t y1, int32_t step, Visit &&visit)
{
	const size_t cols = size_t(x1 - x0) + size_t(tpl.width);
	const size_t count = size_t((x1 - x0) / step) + 1;
	std::vector<Column> sums(cols), squares(cols);
	const auto addRow = [&](int64_t y) {
		const int16_t *v = patch.at(x0, y);
		for (size_t c = 0; c < cols; ++c) {
			sums[c] += Column(v[c]);
			squares[c] += Column(v[c]) * Column(v[c]);
		}
	};
	const auto removeRow = [&](int64_t y) {
		const int16_t *v = patch.at(x0, y);
		for (size_t c = 0; c < cols; ++c) {
			sums[c] -= Column(v[c]);
			squares[c] -= Column(v[c]) * Column(v[c]);
		}
	};
	for (int64_t y = y0; y < y0 + tpl.height; ++y)
		addRow(y);
	WindowRow row;
	row.sums.resize(count);
	row.squares.resize(count);
	for (int64_t y = y0; y <= y1; y += step) {
		if (y > y0) {
			for (int64_t r = y - step; r < y; ++r) {
				removeRow(r);
				addRow(r + tpl.height);
			}
		}
		uint64_t sum = 0, square = 0;
		for (size_t c = 0; c < size_t(tpl.width); ++c) {
			sum += sums[c];
			square += squares[c];
		}
		for (size_t k = 0;; ++k) {
			row.sums[k] = double(sum);
			row.squares[k] = double(square);
			if (k + 1 == count)
				break;
			for (size_t c = k * size_t(step); c < (k + 1) * size_t(step); ++c) {
				sum += uint64_t(sums[c + size_t(tpl.width)]) - uint64_t(sums[c]);
				square += uint64_t(squares[c + size_t(tpl.width)]) - uint64_t(squares[c]);
			}
		}
		row.y = y;
		visit(row);
	}
}

template <class Visit>
void forEachWindowRow(const SearchPatch &patch, const ScaledTemplate &tpl, int64_t x0, int64_t x1, int64_t y0,
		      int64_t y1, int32_t step, Visit &&visit)
{
	if (x0 > x1 || y0 > y1)
		return;
	if (tpl.height < 66000)
		forEachWindowRowOf<uint32_t>(patch, tpl, x0, x1, y0, y1, step, visit);
	else
		forEachWindowRowOf<uint64_t>(patch, tpl, x0, x1, y0, y1, step, visit);
}

// The search of templateScore over a patch that holds every pixel it may read.
float searchPatch(const SearchPatch &patch, int32_t imageWidth, int32_t imageHeight, const ScaledTemplate &tpl,
		  const SearchWindow &w)
{
	const WideTemplate wide(tpl);
	const CorrelationTerms terms{double(tpl.width) * double(tpl.height), double(tpl.sum), double(tpl.energy),
				     tpl.energy <= 0.001f};
	std::vector<int64_t> cross;
	std::vector<float> scores;
	// Scores one row of grid positions starting at column x0, in order, into score(x, s).
	const auto scoreRow = [&](int64_t x0, int32_t step, const WindowRow &row, auto &&score) {
		const int32_t count = int32_t(row.sums.size());
		cross.resize(size_t(count));
		scores.resize(size_t(count));
		crossSums(patch.at(x0, row.y), patch.stride, wide.pixels.data(), wide.rowLength, tpl.height, step,
			  count, cross.data());
		correlationScores(cross.data(), row.sums.data(), row.squares.data(), size_t(count), terms,
				  scores.data());
		for (int32_t k = 0; k < count; ++k)
			score(x0 + int64_t(k) * step, scores[size_t(k)]);
	};
	float best = -1.f;
	int64_t bx = w.cx, by = w.cy;
	forEachWindowRow(patch, tpl, w.xFirst, w.xLast, w.yFirst, w.yLast, 2, [&](const WindowRow &row) {
		scoreRow(w.xFirst, 2, row, [&](int64_t x, float s) {
			if (s > best) {
				best = s;
				bx = x;
				by = row.y;
			}
		});
	});
	// The nine positions around the best; those where the template does not fit score -1.
	const int64_t fx0 = std::max<int64_t>(bx - 1, 0), fy0 = std::max<int64_t>(by - 1, 0);
	const int64_t fx1 = std::min<int64_t>(bx + 1, int64_t(imageWidth) - tpl.width);
	const int64_t fy1 = std::min<int64_t>(by + 1, int64_t(imageHeight) - tpl.height);
	float result = -1.f;
	forEachWindowRow(patch, tpl, fx0, fx1, fy0, fy1, 1, [&](const WindowRow &row) {
		scoreRow(fx0, 1, row, [&](int64_t, float s) { result = std::max(result, s); });
	});
	return result;
}

} // namespace

void reduceInto(const FrameView &frame, int32_t factor, GrayImage &image, const PixelBox &region)
{
	const int32_t d = std::max(factor, 1);
	const PixelBox clipped{std::max(region.x0, 0), std::max(region.y0, 0), std::min(region.x1, image.width),
			       std::min(region.y1, image.height)};
	if (clipped.width() <= 0 || clipped.height() <= 0)
		return;
	reduceRegion(frame, d, clipped, image.row(clipped.y0) + clipped.x0, size_t(image.width));
}

GrayImage classifierImage(const FrameView &frame, int32_t factor)
{
	const int32_t d = std::max(factor, 1);
	GrayImage image(frame.width / d, frame.height / d);
	if (image.empty())
		return GrayImage{};
	reduceInto(frame, d, image, PixelBox{0, 0, image.width, image.height});
	return image;
}

ScaledTemplate scaleTemplate(const HudTemplateDef &def, const uint8_t *stored, int32_t frameHeight, int32_t factor)
{
	// 1079, not 1080: the sizes at 1080 lines were measured that way, and the scale must match.
	const float s = float(frameHeight) / 1079.f / float(std::max(factor, 1));
	ScaledTemplate t;
	t.width = int32_t(std::llroundf(float(def.width1080) * s));
	t.height = int32_t(std::llroundf(float(def.height1080) * s));
	if (t.width < 9)
		t.width = 8;
	if (t.height < 7)
		t.height = 6;
	t.pixels.resize(size_t(t.width) * size_t(t.height));
	std::vector<int32_t> srcCols(size_t(t.width));
	for (int32_t j = 0; j < t.width; ++j) {
		const int32_t c = int32_t((float(j) + 0.5f) * float(def.storedWidth) / float(t.width));
		srcCols[size_t(j)] = std::clamp(c, 0, def.storedWidth - 1);
	}
	int64_t sum = 0, squares = 0;
	for (int32_t i = 0; i < t.height; ++i) {
		int32_t r = int32_t((float(i) + 0.5f) * float(def.storedHeight) / float(t.height));
		r = std::clamp(r, 0, def.storedHeight - 1);
		const uint8_t *src = stored + size_t(r) * size_t(def.storedWidth);
		uint8_t *dst = t.pixels.data() + size_t(i) * size_t(t.width);
		for (int32_t j = 0; j < t.width; ++j) {
			const uint8_t v = src[srcCols[size_t(j)]];
			dst[j] = v;
			sum += v;
			squares += int64_t(v) * v;
		}
	}
	const double n = double(t.pixels.size());
	t.sum = sum;
	t.energy = float(double(squares) - double(sum) * double(sum) / n);
	return t;
}

float correlationAt(const GrayImage &image, const ScaledTemplate &tpl, int32_t x, int32_t y)
{
	if (!fits(image.width, image.height, tpl, x, y))
		return -1.f;
	int64_t sumV = 0, squaresV = 0, cross = 0;
	for (int32_t i = 0; i < tpl.height; ++i) {
		const uint8_t *v = image.row(y + i) + x;
		const uint8_t *t = tpl.pixels.data() + size_t(i) * size_t(tpl.width);
		for (int32_t j = 0; j < tpl.width; ++j) {
			sumV += v[j];
			squaresV += int64_t(v[j]) * v[j];
			cross += int64_t(v[j]) * t[j];
		}
	}
	return normalisedCorrelation(cross, sumV, squaresV, tpl);
}

SearchWindow searchWindow(int32_t imageWidth, int32_t imageHeight, const ScaledTemplate &tpl, const HudTemplateDef &def)
{
	SearchWindow w;
	w.cx = roundToInt(float(imageWidth) * def.x, INT32_MIN, INT32_MAX);
	w.cy = roundToInt(float(imageHeight) * def.y, INT32_MIN, INT32_MAX);
	w.r = std::max(roundToInt(float(imageWidth) * def.radius, INT32_MIN, INT32_MAX), 4);
	// Positions where the template does not fit score -1 and can never be the best, so the
	// walk skips them while keeping to its grid of even steps.
	w.yFirst = firstOnStepAtLeast(int64_t(w.cy) - w.r / 2, 0);
	w.yLast = std::min<int64_t>(int64_t(w.cy) + w.r / 2, int64_t(imageHeight) - tpl.height);
	w.xFirst = firstOnStepAtLeast(int64_t(w.cx) - w.r, 0);
	w.xLast = std::min<int64_t>(int64_t(w.cx) + w.r, int64_t(imageWidth) - tpl.width);
	// Every position scored lies within r (and r / 2) of the corner, plus one for the fine step.
	const auto clampTo = [](int64_t v, int32_t hi) { return int32_t(std::clamp<int64_t>(v, 0, hi)); };
	w.reads = PixelBox{clampTo(int64_t(w.cx) - w.r - 1, imageWidth),
			   clampTo(int64_t(w.cy) - w.r / 2 - 1, imageHeight),
			   clampTo(int64_t(w.cx) + w.r + 1 + tpl.width, imageWidth),
			   clampTo(int64_t(w.cy) + w.r / 2 + 1 + tpl.height, imageHeight)};
	return w;
}

float templateScore(const GrayImage &image, const ScaledTemplate &tpl, const HudTemplateDef &def)
{
	const SearchWindow w = searchWindow(image.width, image.height, tpl, def);
	SearchPatch patch(w.reads);
	for (int32_t y = w.reads.y0; y < w.reads.y1; ++y)
		std::copy_n(image.row(y) + w.reads.x0, size_t(w.reads.width()),
			    patch.pixels.data() + size_t(y - w.reads.y0) * patch.stride);
	return searchPatch(patch, image.width, image.height, tpl, w);
}

HudEvidence::HudEvidence(const FrameView &frame)
    : frame_(frame), topLeftDetail_(hud::topLeftDetail(frame)), counterStrip_(hud::counterStrip(frame))
{
}

int32_t HudEvidence::barWarmth()
{
	if (!barWarmth_)
		barWarmth_ = hud::barWarmth(frame_);
	return *barWarmth_;
}

int32_t HudEvidence::centreBright()
{
	if (!centreBright_)
		centreBright_ = hud::centreBright(frame_);
	return *centreBright_;
}

bool HudEvidence::cardStandsOut()
{
	if (!cardStandsOut_)
		cardStandsOut_ = hud::cardStandsOut(frame_, centreBright());
	return *cardStandsOut_;
}

float HudEvidence::score(HudTemplateId id)
{
	std::optional<float> &cached = scores_[size_t(id)];
	if (cached)
		return *cached;
	const HudTemplateDef &def = kHudTemplateDefs[size_t(id)];
	if (def.onlyWithoutHud && hudPresent()) {
		cached = -1.f;
		return *cached;
	}
	// Only the window a search reads is reduced, straight into its patch: a few percent of
	// the image for a frame of a match, where only the spectating templates are searched.
	const int32_t d = classifierFactor(frame_.height);
	const int32_t imageWidth = frame_.width / d, imageHeight = frame_.height / d;
	const ScaledTemplate tpl = scaleTemplate(def, kHudTemplatePixels[size_t(id)].pixels, frame_.height, d);
	const SearchWindow w = searchWindow(imageWidth, imageHeight, tpl, def);
	SearchPatch patch(w.reads);
	reduceRegion(frame_, d, w.reads, patch.pixels.data(), patch.stride);
	cached = searchPatch(patch, imageWidth, imageHeight, tpl, w);
	return *cached;
}

} // namespace hud

const char *hudStateName(int32_t state)
{
	static const char *const names[] = {"unknown",    "menu",           "in-match",    "downed",
					    "spectating", "placement-card", "after-action"};
	if (state < 0 || state >= int32_t(std::size(names)))
		return names[0];
	return names[state];
}

int32_t classifyHudState(const uint8_t *data, int32_t width, int32_t height, uint32_t lineSize)
{
	const hud::FrameView frame{data, width, height, lineSize};
	if (!frame.usable())
		return kHudUnknown;
	hud::HudEvidence evidence(frame);
	return hud::decideHudState(evidence);
}

} // namespace ostrelo
