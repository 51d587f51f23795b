#include "statreader/hud_classifier.h"
#include "statreader/hud_classifier_internal.h"

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

bool warm(const uint8_t *p)
{
	const int32_t r = p[0], g = p[1], b = p[2];
	return r > 160 && g >= 31 && g <= 139 && b < 80 && r > g + 40;
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
	int64_t sum = 0, squares = 0;
	for (int32_t y = b.y0; y < b.y1; ++y) {
		const uint8_t *row = frame.row(y) + size_t(b.x0) * 4;
		// 32-bit sums over pieces of 4096 pixels (4096 * 255^2 < 2^32) let the loop vectorise.
		for (int32_t x0 = 0; x0 < b.width(); x0 += 4096) {
			const int32_t x1 = std::min(b.width(), x0 + 4096);
			uint32_t pieceSum = 0, pieceSquares = 0;
			for (int32_t x = x0; x < x1; ++x) {
				const uint32_t l = uint32_t(luma(row + size_t(x) * 4));
				pieceSum += l;
				pieceSquares += l * l;
			}
			sum += pieceSum;
			squares += pieceSquares;
		}
	}
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
		const uint8_t *p = frame.row(y) + size_t(b.x0) * 4;
		int32_t warmCount = 0;
		for (int32_t x = b.x0; x < b.x1; ++x, p += 4)
			warmCount += warm(p) ? 1 : 0;
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
	for (int32_t y = b.y0; y < b.y1; ++y) {
		const uint8_t *row = frame.row(y) + size_t(b.x0) * 4;
		uint32_t rowCount = 0;
		for (int32_t x = 0; x < b.width(); ++x)
			rowCount += weightedLuma(row + size_t(x) * 4) > kVeryBrightWeighted ? 1u : 0u;
		count += rowCount;
	}
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

void reduceInto(const FrameView &frame, int32_t factor, GrayImage &image, const PixelBox &region)
{
	const int32_t d = std::max(factor, 1);
	const int32_t x0 = std::max(region.x0, 0), x1 = std::min(region.x1, image.width);
	const int32_t y0 = std::max(region.y0, 0), y1 = std::min(region.y1, image.height);
	if (x0 >= x1 || y0 >= y1)
		return;
	const size_t cols = size_t(x1 - x0);
	const size_t sourceCols = cols * size_t(d);
	const uint32_t blockArea = uint32_t(d) * uint32_t(d);
	// Column sums over the d rows of a block first, then across the d columns: both loops
	// run over contiguous memory. d * 255 and d^2 * 255 fit 32 bits below 1.1M lines.
	std::vector<uint32_t> columnSums(sourceCols);
	for (int32_t oy = y0; oy < y1; ++oy) {
		std::fill(columnSums.begin(), columnSums.end(), 0u);
		for (int32_t k = 0; k < d; ++k) {
			const uint8_t *p = frame.row(oy * d + k) + size_t(x0) * size_t(d) * 4;
			uint32_t *sums = columnSums.data();
			for (size_t x = 0; x < sourceCols; ++x)
				sums[x] += uint32_t(77 * p[4 * x] + 150 * p[4 * x + 1] + 29 * p[4 * x + 2]) >> 8;
		}
		uint8_t *dst = image.row(oy) + x0;
		const uint32_t *sums = columnSums.data();
		for (size_t ox = 0; ox < cols; ++ox, sums += d) {
			uint32_t block = 0;
			for (int32_t j = 0; j < d; ++j)
				block += sums[j];
			dst[ox] = uint8_t(block / blockArea);
		}
	}
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

namespace {

bool fits(const GrayImage &image, const ScaledTemplate &tpl, int64_t x, int64_t y)
{
	return x >= 0 && y >= 0 && x + tpl.width <= image.width && y + tpl.height <= image.height;
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

// Sum of image x template over the template placed at (x, y), which must fit.
int64_t crossSum(const GrayImage &image, const ScaledTemplate &tpl, int32_t x, int32_t y)
{
	int64_t cross = 0;
	for (int32_t i = 0; i < tpl.height; ++i) {
		const uint8_t *v = image.row(y + i) + x;
		const uint8_t *t = tpl.pixels.data() + size_t(i) * size_t(tpl.width);
		uint32_t rowCross = 0; // a row of a scaled template is at most a few hundred pixels
		for (int32_t j = 0; j < tpl.width; ++j)
			rowCross += uint32_t(v[j]) * t[j];
		cross += rowCross;
	}
	return cross;
}

// Summed-area tables of v and v^2 over a region of the image: the window sums of every
// search position in O(1), leaving only the cross sum to the inner loop.
class WindowSums {
public:
	WindowSums(const GrayImage &image, const PixelBox &region)
	    : x0_(region.x0), y0_(region.y0), stride_(size_t(std::max(region.width(), 0)) + 1),
	      sums_(stride_ * (size_t(std::max(region.height(), 0)) + 1)), squares_(sums_.size())
	{
		for (int32_t y = 0; y < region.height(); ++y) {
			const uint8_t *v = image.row(region.y0 + y) + region.x0;
			uint64_t rowSum = 0, rowSquares = 0;
			for (int32_t x = 0; x < region.width(); ++x) {
				rowSum += v[x];
				rowSquares += uint64_t(v[x]) * v[x];
				const size_t at = size_t(y + 1) * stride_ + size_t(x) + 1;
				sums_[at] = sums_[at - stride_] + rowSum;
				squares_[at] = squares_[at - stride_] + rowSquares;
			}
		}
	}

	// Sums over the w x h window at (x, y), which must lie inside the region.
	void window(int32_t x, int32_t y, int32_t w, int32_t h, int64_t &sum, int64_t &squares) const
	{
		const size_t a = size_t(y - y0_) * stride_ + size_t(x - x0_);
		const size_t b = a + size_t(w), c = a + size_t(h) * stride_, d = c + size_t(w);
		sum = int64_t(sums_[d] - sums_[b] - sums_[c] + sums_[a]);
		squares = int64_t(squares_[d] - squares_[b] - squares_[c] + squares_[a]);
	}

private:
	int32_t x0_, y0_;
	size_t stride_;
	std::vector<uint64_t> sums_, squares_;
};

} // namespace

float correlationAt(const GrayImage &image, const ScaledTemplate &tpl, int32_t x, int32_t y)
{
	if (!fits(image, tpl, x, y))
		return -1.f;
	int64_t sumV = 0, squaresV = 0;
	for (int32_t i = 0; i < tpl.height; ++i) {
		const uint8_t *v = image.row(y + i) + x;
		for (int32_t j = 0; j < tpl.width; ++j) {
			sumV += v[j];
			squaresV += int64_t(v[j]) * v[j];
		}
	}
	return normalisedCorrelation(crossSum(image, tpl, x, y), sumV, squaresV, tpl);
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
	const WindowSums sums(image, w.reads);
	const auto correlation = [&](int64_t x, int64_t y) {
		if (!fits(image, tpl, x, y))
			return -1.f;
		int64_t sumV = 0, squaresV = 0;
		sums.window(int32_t(x), int32_t(y), tpl.width, tpl.height, sumV, squaresV);
		return normalisedCorrelation(crossSum(image, tpl, int32_t(x), int32_t(y)), sumV, squaresV, tpl);
	};
	float best = -1.f;
	int32_t bx = w.cx, by = w.cy;
	for (int64_t y = w.yFirst; y <= w.yLast; y += 2) {
		for (int64_t x = w.xFirst; x <= w.xLast; x += 2) {
			const float s = correlation(x, y);
			if (s > best) {
				best = s;
				bx = int32_t(x);
				by = int32_t(y);
			}
		}
	}
	float result = -1.f;
	for (int32_t dy = -1; dy <= 1; ++dy)
		for (int32_t dx = -1; dx <= 1; ++dx)
			result = std::max(result, correlation(int64_t(bx) + dx, int64_t(by) + dy));
	return result;
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
	// Only the windows the searches read are reduced: a few percent of the image for a frame
	// of a match, where only the spectating templates are searched.
	if (image_.empty()) {
		factor_ = classifierFactor(frame_.height);
		image_ = GrayImage(frame_.width / factor_, frame_.height / factor_);
	}
	const ScaledTemplate tpl = scaleTemplate(def, kHudTemplatePixels[size_t(id)].pixels, frame_.height, factor_);
	reduceInto(frame_, factor_, image_, searchWindow(image_.width, image_.height, tpl, def).reads);
	cached = templateScore(image_, tpl, def);
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
