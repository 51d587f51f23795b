#include "digits/shape_rules.h"

#include "common/debug_env.h"
#include "digits/glyph_templates.h"
#include "digits/image_prep.h"
#include "digits/score_margin.h"
#include "digits/segmentation.h"
#include "digits/shape_measure.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace ostrelo {
namespace {

// Marks the 4-connected background reachable from `seed` (already known to be background).
void fillBackground(const GrayImage &image, std::vector<uint8_t> &marked, int32_t seed, std::vector<int32_t> &stack)
{
	const int32_t w = image.width;
	const int32_t h = image.height;
	marked[size_t(seed)] = 1;
	stack.assign(1, seed);
	while (!stack.empty()) {
		const int32_t i = stack.back();
		stack.pop_back();
		const int32_t x = i % w;
		const int32_t y = i / w;
		auto visit = [&](int32_t j) {
			if (!marked[size_t(j)] && !isInk(image.pixels[size_t(j)])) {
				marked[size_t(j)] = 1;
				stack.push_back(j);
			}
		};
		if (x > 0)
			visit(i - 1);
		if (x + 1 < w)
			visit(i + 1);
		if (y > 0)
			visit(i - w);
		if (y + 1 < h)
			visit(i + w);
	}
}

// Marks everything reachable from the border background; what stays unmarked background inside
// is a hole.
std::vector<uint8_t> markOutside(const GrayImage &image, std::vector<int32_t> &stack)
{
	const int32_t w = image.width;
	const int32_t h = image.height;
	std::vector<uint8_t> marked(static_cast<size_t>(image.size()), 0);
	auto seed = [&](int32_t x, int32_t y) {
		const int32_t i = y * w + x;
		if (!marked[size_t(i)] && !isInk(image.pixels[size_t(i)]))
			fillBackground(image, marked, i, stack);
	};
	for (int32_t x = 0; x < w; ++x) {
		seed(x, 0);
		seed(x, h - 1);
	}
	for (int32_t y = 0; y < h; ++y) {
		seed(0, y);
		seed(w - 1, y);
	}
	return marked;
}

bool measurable(const GrayImage &image)
{
	return image.wellFormed() && image.size() <= std::numeric_limits<int32_t>::max();
}

// Truncates toward zero, with NaN and out-of-range values pinned instead of undefined.
int64_t truncToInt(float v)
{
	if (std::isnan(v))
		return 0;
	if (v >= 2147483647.f)
		return std::numeric_limits<int32_t>::max();
	if (v <= -2147483648.f)
		return std::numeric_limits<int32_t>::min();
	return int64_t(v);
}

} // namespace

GlyphShape measureShapePlain(const GrayImage &grid)
{
	// One marking of the outside serves both measurements: the centre is taken over the hole
	// pixels before the holes are flooded one by one to count them.
	GlyphShape s;
	if (!measurable(grid))
		return s;
	const int32_t w = grid.width;
	const int32_t h = grid.height;
	std::vector<int32_t> stack;
	std::vector<uint8_t> marked = markOutside(grid, stack);
	auto isHole = [&](int32_t i) { return !marked[size_t(i)] && !isInk(grid.pixels[size_t(i)]); };
	if (h - 1 > 1) {
		int64_t n = 0;
		int64_t rowSum = 0;
		for (int32_t y = 1; y < h - 1; ++y) {
			for (int32_t x = 1; x < w - 1; ++x) {
				if (isHole(y * w + x)) {
					++n;
					rowSum += y;
				}
			}
		}
		if (n > 0)
			s.center = (float(rowSum) / float(n)) / float(h - 1);
	}
	for (int32_t y = 1; y < h - 1; ++y) {
		for (int32_t x = 1; x < w - 1; ++x) {
			if (isHole(y * w + x)) {
				++s.holes;
				fillBackground(grid, marked, y * w + x, stack);
			}
		}
	}
	return s;
}

GlyphShape measureShape(const GrayImage &grid)
{
	if (grid.width != kGridW || grid.height != kGridH || !grid.wellFormed())
		return measureShapePlain(grid);
	// On the glyph grid the same flood fills run on 14-bit row masks.
	constexpr uint32_t kFull = (1u << kGridW) - 1;
	std::array<uint32_t, kGridH> background{}, outside{};
	for (int32_t y = 0; y < kGridH; ++y) {
		for (int32_t x = 0; x < kGridW; ++x)
			if (!isInk(grid.at(x, y)))
				background[size_t(y)] |= 1u << x;
		const uint32_t border = (y == 0 || y == kGridH - 1) ? kFull : (1u | (1u << (kGridW - 1)));
		outside[size_t(y)] = background[size_t(y)] & border;
	}
	// Grows `region` within `allowed`, left, right, up and down, until it stops changing.
	auto flood = [](std::array<uint32_t, kGridH> &region, const std::array<uint32_t, kGridH> &allowed) {
		for (bool changed = true; changed;) {
			changed = false;
			for (int32_t y = 0; y < kGridH; ++y) {
				uint32_t r = region[size_t(y)];
				if (y > 0)
					r |= region[size_t(y - 1)];
				if (y + 1 < kGridH)
					r |= region[size_t(y + 1)];
				r = (r | region[size_t(y)] << 1 | region[size_t(y)] >> 1) & allowed[size_t(y)];
				for (;;) { // run along the row at once
					const uint32_t wider = (r | r << 1 | r >> 1) & allowed[size_t(y)];
					if (wider == r)
						break;
					r = wider;
				}
				if (r != region[size_t(y)]) {
					region[size_t(y)] = r;
					changed = true;
				}
			}
		}
	};
	flood(outside, background);

	std::array<uint32_t, kGridH> holes{};
	int64_t n = 0, rowSum = 0;
	for (int32_t y = 0; y < kGridH; ++y) {
		holes[size_t(y)] = background[size_t(y)] & ~outside[size_t(y)];
		const int32_t count = int32_t(std::bitset<32>(holes[size_t(y)]).count());
		n += count;
		rowSum += int64_t(y) * count;
	}
	GlyphShape s;
	if (n > 0)
		s.center = (float(rowSum) / float(n)) / float(kGridH - 1);
	for (int32_t y = 0; y < kGridH; ++y) {
		while (holes[size_t(y)]) {
			std::array<uint32_t, kGridH> one{};
			one[size_t(y)] = holes[size_t(y)] & (~holes[size_t(y)] + 1); // its lowest pixel
			flood(one, holes);
			for (int32_t r = 0; r < kGridH; ++r)
				holes[size_t(r)] &= ~one[size_t(r)];
			++s.holes;
		}
	}
	return s;
}

int32_t countHoles(const GrayImage &image)
{
	return measureShape(image).holes;
}

float holeCenter(const GrayImage &image)
{
	return measureShape(image).center;
}

float inkFraction(const GrayImage &image, float y0f, float y1f, float x0f, float x1f)
{
	const int64_t h = std::max(0, image.height);
	const int64_t w = std::max(0, image.width);
	const int64_t r0 = std::max<int64_t>(0, std::min(truncToInt(float(h) * y0f), h));
	const int64_t r1 = std::max(r0 + 1, std::min(truncToInt(float(h) * y1f), h));
	const int64_t c0 = std::max<int64_t>(0, std::min(truncToInt(float(w) * x0f), w));
	const int64_t c1 = std::max(c0 + 1, std::min(truncToInt(float(w) * x1f), w));
	int64_t ink = 0;
	if (image.wellFormed()) {
		for (int64_t y = r0; y < std::min(r1, h); ++y)
			for (int64_t x = c0; x < std::min(c1, w); ++x)
				ink += isInk(image.at(int32_t(x), int32_t(y))) ? 1 : 0;
	}
	return float(ink) / float((r1 - r0) * (c1 - c0));
}

int32_t resolvePair(const GrayImage &grid, int32_t a, int32_t b)
{
	return resolvePair(grid, a, b, measureShape(grid));
}

int32_t resolvePair(const GrayImage &g, int32_t a, int32_t b, const GlyphShape &s)
{
	const int32_t lo = std::min(a, b);
	const int32_t hi = std::max(a, b);
	auto ink = [&g](float r0, float r1, float c0, float c1) { return inkFraction(g, r0, r1, c0, c1); };
	const int32_t holes = s.holes;
	const float p = s.center;

	if (lo == 2 && hi == 3) {
		const float left = ink(0.35f, 0.72f, 0.f, 0.35f);
		const float right = ink(0.35f, 0.72f, 0.65f, 1.f);
		if (ink(0.78f, 1.f, 0.f, 0.4f) >= 0.28f && ink(0.78f, 1.f, 0.6f, 1.f) >= 0.28f)
			return 2; // a full bottom bar
		if (right > left + 0.12f && left < 0.28f)
			return 3;
		return kNoDigit;
	}
	if (lo == 8 && hi == 9) {
		if (holes >= 2)
			return 8;
		if (holes == 1)
			return 9;
		return kNoDigit;
	}
	if (lo == 0 && hi == 8) {
		const float middle = ink(0.42f, 0.58f, 0.25f, 0.75f);
		if (holes >= 2)
			return 8;
		if (holes == 1 && middle < 0.45f)
			return 0;
		if (middle >= 0.6f)
			return 8;
		if (middle <= 0.35f)
			return 0;
		return kNoDigit;
	}
	if (lo == 0 && hi == 3)
		return holes >= 1 ? 0 : 3;
	if (lo == 5 && hi == 9)
		return holes >= 1 ? 9 : 5;
	if (lo == 6 && hi == 9) {
		if (holes != 1 || p < 0.f)
			return kNoDigit;
		if (p < 0.45f)
			return 9;
		if (p > 0.55f)
			return 6;
		return kNoDigit;
	}
	if (lo == 0 && hi == 9) {
		if (holes != 1)
			return kNoDigit;
		if (p >= 0.f && p < 0.42f)
			return 9;
		if (p >= 0.45f && p <= 0.58f)
			return 0;
		return kNoDigit;
	}
	if (lo == 1 && hi == 4) {
		const float middle = ink(0.35f, 0.65f, 0.f, 0.5f);
		const float top = ink(0.1f, 0.45f, 0.f, 0.45f);
		if (middle > 0.18f && ink(0.1f, 0.9f, 0.55f, 1.f) > 0.28f && top > 0.1f)
			return 4;
		if (middle < 0.12f && top < 0.15f)
			return 1;
		return kNoDigit;
	}
	return kNoDigit;
}

void refineScores(const GrayImage &grid, int32_t &best, std::array<float, 10> &scores)
{
	refineScores(grid, best, scores, measureShape(grid));
}

void refineScores(const GrayImage &g, int32_t &best, std::array<float, 10> &scores, const GlyphShape &s)
{
	if (best < 0 || best > 9)
		return;
	static constexpr std::array<std::array<int32_t, 2>, 8> pairs = {
		{{2, 3}, {8, 9}, {0, 8}, {0, 3}, {5, 9}, {6, 9}, {1, 4}, {0, 9}}};
	for (const auto &[i, j] : pairs) {
		if (best != i && best != j)
			continue;
		const float diff = std::fabs(scores[size_t(i)] - scores[size_t(j)]);
		const int32_t d = resolvePair(g, i, j, s);
		if (d == kNoDigit || d == best)
			continue;
		const bool holePair = !(i == 2 && j == 3) && !(i == 1 && j == 4);
		// A hole count that backs the rule decides even against a clearer template lead.
		if (holePair && s.holes >= 1 && ((d == 8 && s.holes >= 2) || ((d == 0 || d == 9) && s.holes == 1))) {
			if (withinMargin(diff, 0.2f) || scores[size_t(d)] >= 0.68f)
				best = d;
			continue;
		}
		if (leadsBy(scores[size_t(d)], scores[size_t(best)], -0.001f) && withinMargin(diff, 0.12f) &&
		    scores[size_t(d)] >= 0.6f)
			best = d;
	}

	const float p = s.center;
	const bool open =
		inkFraction(g, 0.35f, 0.65f, 0.f, 0.5f) > 0.18f && inkFraction(g, 0.1f, 0.9f, 0.55f, 1.f) > 0.28f;
	bool confirmed = false;
	switch (s.holes) {
	case 0:
		confirmed = (best == 4 && open) || (best == 5 && scores[5] >= 0.82f);
		break;
	case 1:
		confirmed =
			(best == 9 && p < 0.5f) || (best == 6 && p > 0.55f) || (best == 0 && p >= 0.42f && p <= 0.58f);
		break;
	default:
		confirmed = best == 8;
		break;
	}
	if (!confirmed)
		return;
	const float cap = (scores[size_t(best)] - 0.08f) - 0.02f;
	for (int32_t d = 0; d < 10; ++d)
		if (d != best)
			scores[size_t(d)] = std::min(scores[size_t(d)], cap);
}

bool isOpenFour(const GrayImage &bilevel)
{
	const bool debug = digitDebugEnabled();
	const GlyphBoxes boxes = segmentGlyphs(bilevel);
	if (debug)
		std::fprintf(stderr, "  open4 boxes=%zu bin=%dx%d\n", boxes.size(), bilevel.width, bilevel.height);
	if (boxes.size() != 1)
		return false;
	const GlyphBox &box = boxes.front();
	const int64_t bw = box.bw();
	const int64_t bh = box.bh();
	if (bh < 8 || bw < 4 || 5 * bw < 2 * bh)
		return false;

	const GrayImage g = normalizeGlyph(bilevel, box);
	const int32_t holes = countHoles(g);
	if (debug)
		std::fprintf(stderr, "  open4 box=%d,%d %dx%d holes=%d\n", box.x0, box.y0, box.bw(), box.bh(), holes);
	if (holes >= 2)
		return false;

	const float midL = inkFraction(g, 0.35f, 0.65f, 0.f, 0.5f);
	const float topL = inkFraction(g, 0.1f, 0.45f, 0.f, 0.45f);
	const float stem = inkFraction(g, 0.1f, 0.9f, 0.55f, 1.f);
	const float midBar = inkFraction(g, 0.42f, 0.62f, 0.15f, 0.7f);
	const float botL = inkFraction(g, 0.8f, 1.f, 0.f, 0.45f);
	const float botR = inkFraction(g, 0.8f, 1.f, 0.55f, 1.f);
	const bool result =
		midL > 0.16f && topL > 0.08f && stem > 0.28f && midBar > 0.16f && botR > 0.2f && botL < 0.4f;
	if (debug)
		std::fprintf(stderr,
			     "  open4 holes=%d midL=%.3f topL=%.3f stem=%.3f midBar=%.3f botL=%.3f botR=%.3f -> %d\n",
			     holes, double(midL), double(topL), double(stem), double(midBar), double(botL),
			     double(botR), result ? 1 : 0);
	return result;
}

} // namespace ostrelo
