// Bringing the plates bar upright: perspective rectification of a four-corner outline,
// rotation of a box crop, and the bilinear sampling both use.

#include "plates/plates_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define OSTRELO_PLATES_SSE2 1
#endif

namespace ostrelo::plates {

namespace {

float sideLength(const PointF &a, const PointF &b)
{
	const float dx = b.x - a.x, dy = b.y - a.y;
	return std::sqrt(dx * dx + dy * dy);
}

// A length rounded half away from zero, or -1 when it is not a size we would allocate
// (NaN, infinite or above the side limit); checked before any conversion to an integer.
int32_t boundedRoundedLength(float length)
{
	if (!(length >= 0.f && length < float(kMaxBarSide) + 0.5f))
		return -1;
	return int32_t(std::lround(length));
}

bool withinBudget(int32_t width, int32_t height)
{
	return width > 0 && height > 0 && width <= kMaxBarSide && height <= kMaxBarSide &&
	       int64_t(width) * height <= kMaxBarPixels;
}

RgbaImage blankImage(int32_t width, int32_t height)
{
	RgbaImage out;
	out.width = width;
	out.height = height;
	out.pixels.assign(size_t(width) * size_t(height) * 4, 0);
	return out;
}

// Whether a bilinear sample at (x, y) reads any pixel of the image: outside (-1, width) x
// (-1, height) every neighbour is outside (NaN and huge coordinates included).
bool samplesImage(const RgbaCrop &image, float x, float y)
{
	return x > -1.f && x < float(image.width) && y > -1.f && y < float(image.height);
}

void putPixel(RgbaImage &out, int32_t x, int32_t y, const std::array<uint8_t, 4> &px)
{
	std::copy(px.begin(), px.end(), out.pixels.begin() + (ptrdiff_t(y) * out.width + x) * 4);
}

// Every pixel of out (zero to start) that the map m (image from output, projective, row by
// row) takes into the image, sampled there.
void drawRectified(const RgbaCrop &image, const float (&m)[9], RgbaImage &out)
{
	for (int32_t i = 0; i < out.height; ++i)
		for (int32_t j = 0; j < out.width; ++j) {
			const float fj = float(j), fi = float(i);
			const float d = m[6] * fj + m[7] * fi + m[8];
			if (!(double(std::fabs(d)) >= 1e-8))
				continue;
			const float x = (m[0] * fj + m[1] * fi + m[2]) / d;
			const float y = (m[3] * fj + m[4] * fi + m[5]) / d;
			// Points that sample nothing leave the pixel as the blank image has it.
			if (samplesImage(image, x, y))
				putPixel(out, j, i, sampleInside(image, x, y));
		}
}

// The turn of a crop by an angle of cosine c and sine s about (cx, cy), drawn on a canvas
// whose top-left pixel lies at (minX, minY).
struct Turn {
	float c, s, cx, cy, minX, minY;
};

// Every pixel of out (zero to start) that turned back lands in the image, sampled there.
void drawRotated(const RgbaCrop &image, const Turn &t, RgbaImage &out)
{
	for (int32_t i = 0; i < out.height; ++i)
		for (int32_t j = 0; j < out.width; ++j) {
			const float X = t.minX + float(j), Y = t.minY + float(i);
			const float sx = t.cx + (X - t.cx) * t.c + (Y - t.cy) * t.s;
			const float sy = t.cy - (X - t.cx) * t.s + (Y - t.cy) * t.c;
			if (samplesImage(image, sx, sy))
				putPixel(out, j, i, sampleInside(image, sx, sy));
		}
}

// Solves the 8 x 9 system in place by Gauss-Jordan elimination with partial pivoting; the
// last column then holds the solution. False on a pivot too small to divide by.
bool solveInPlace(std::array<std::array<float, 9>, 8> &a)
{
	for (int c = 0; c < 8; ++c) {
		int pivot = c;
		for (int r = c + 1; r < 8; ++r)
			if (std::fabs(a[size_t(r)][size_t(c)]) > std::fabs(a[size_t(pivot)][size_t(c)]))
				pivot = r;
		// Written so that a NaN pivot fails too.
		if (!(double(std::fabs(a[size_t(pivot)][size_t(c)])) >= 1e-8))
			return false;
		std::swap(a[size_t(c)], a[size_t(pivot)]);
		const float p = a[size_t(c)][size_t(c)];
		for (float &v : a[size_t(c)])
			v /= p;
		for (int r = 0; r < 8; ++r) {
			const float f = a[size_t(r)][size_t(c)];
			if (r == c || f == 0.f)
				continue;
			for (int k = 0; k < 9; ++k)
				a[size_t(r)][size_t(k)] -= f * a[size_t(c)][size_t(k)];
		}
	}
	return true;
}

} // namespace

bool isReadableCrop(const RgbaCrop &image)
{
	return image.data && image.width > 0 && image.height > 0 && int64_t(image.stride) >= int64_t(image.width) * 4;
}

bool isQuadUsable(const std::optional<PlatesOutline> &outline)
{
	if (!outline)
		return false;
	const PlatesOutline &p = *outline;
	for (int i = 0; i < 4; ++i)
		if (!(sideLength(p[size_t(i)], p[size_t((i + 1) % 4)]) >= 4.f))
			return false;
	float twice = 0.f;
	for (int i = 0; i < 4; ++i) {
		const PointF &a = p[size_t(i)], &b = p[size_t((i + 1) % 4)];
		twice += a.x * b.y - b.x * a.y;
	}
	return 0.5f * std::fabs(twice) >= 24.f;
}

std::optional<RgbaImage> rectifyQuad(const RgbaCrop &image, const PlatesOutline &outline)
{
	const PointF &p0 = outline[0], &p1 = outline[1], &p2 = outline[2], &p3 = outline[3];
	const int32_t across = boundedRoundedLength(std::max(sideLength(p0, p1), sideLength(p3, p2)));
	const int32_t down = boundedRoundedLength(std::max(sideLength(p0, p3), sideLength(p1, p2)));
	if (across < 0 || down < 0)
		return std::nullopt;
	const int32_t width = std::max(48, across);
	const int32_t height = std::max(16, down);
	if (!withinBudget(width, height))
		return std::nullopt;

	// The map from the image to the output rectangle, h8 = 1.
	const float w1 = float(width - 1), h1 = float(height - 1);
	const PointF targets[4] = {{0.f, 0.f}, {w1, 0.f}, {w1, h1}, {0.f, h1}};
	std::array<std::array<float, 9>, 8> a{};
	for (int i = 0; i < 4; ++i) {
		const float u = outline[size_t(i)].x, v = outline[size_t(i)].y;
		const float x = targets[i].x, y = targets[i].y;
		a[size_t(2 * i)] = {u, v, 1.f, 0.f, 0.f, 0.f, -(u * x), -(v * x), x};
		a[size_t(2 * i + 1)] = {0.f, 0.f, 0.f, u, v, 1.f, -(u * y), -(v * y), y};
	}
	if (!solveInPlace(a))
		return std::nullopt;
	const float h0 = a[0][8], h1c = a[1][8], h2 = a[2][8], h3 = a[3][8], h4 = a[4][8], h5 = a[5][8], h6 = a[6][8],
		    h7 = a[7][8];

	// Its inverse, by the adjugate, takes output pixels back into the image.
	const float det = h0 * (h4 - h5 * h7) - h1c * (h3 - h5 * h6) + h2 * (h3 * h7 - h4 * h6);
	if (!(double(std::fabs(det)) >= 1e-12))
		return std::nullopt;
	const float m[9] = {
		(h4 - h5 * h7) / det,      (h2 * h7 - h1c) / det,      (h1c * h5 - h2 * h4) / det,
		(h5 * h6 - h3) / det,      (h0 - h2 * h6) / det,       (h2 * h3 - h0 * h5) / det,
		(h3 * h7 - h4 * h6) / det, (h1c * h6 - h0 * h7) / det, (h0 * h4 - h1c * h3) / det,
	};

	RgbaImage out = blankImage(width, height);
	if (!isReadableCrop(image))
		return out; // nothing to sample: the blank image is what sampling would give
	drawRectified(image, m, out);
	return out;
}

RgbaImage rotateBar(const RgbaCrop &image, float angleDegrees)
{
	const float phi = angleDegrees * 3.1415927f / 180.f;
	const float c = std::cos(phi), s = std::sin(phi);
	const float cx = (float(image.width) - 1.f) / 2.f, cy = (float(image.height) - 1.f) / 2.f;

	float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
	const float corners[4][2] = {{0.f, 0.f},
				     {float(image.width) - 1.f, 0.f},
				     {0.f, float(image.height) - 1.f},
				     {float(image.width) - 1.f, float(image.height) - 1.f}};
	for (const auto &corner : corners) {
		const float x = cx + (corner[0] - cx) * c - (corner[1] - cy) * s;
		const float y = cy + (corner[0] - cx) * s + (corner[1] - cy) * c;
		minX = std::min(minX, x);
		maxX = std::max(maxX, x);
		minY = std::min(minY, y);
		maxY = std::max(maxY, y);
	}

	// Sizes are settled as floats before they become integers: a NaN angle leaves the extents
	// at their start values (the canvas is then 2 x 2), a huge crop makes them exceed the limits.
	const float spanX = std::max(2.f, std::ceil(maxX - minX) + 1.f);
	const float spanY = std::max(2.f, std::ceil(maxY - minY) + 1.f);
	if (!(spanX <= float(kMaxBarSide) && spanY <= float(kMaxBarSide)))
		return {};
	const int32_t width = int32_t(spanX), height = int32_t(spanY);
	if (!withinBudget(width, height))
		return {};

	RgbaImage out = blankImage(width, height);
	if (!isReadableCrop(image))
		return out;
	drawRotated(image, Turn{c, s, cx, cy, minX, minY}, out);
	return out;
}

std::array<uint8_t, 4> sampleBilinear(const RgbaCrop &image, float x, float y)
{
	// This also keeps NaN and huge coordinates away from the integer conversions.
	if (!isReadableCrop(image) || !samplesImage(image, x, y))
		return {};
	return sampleInside(image, x, y);
}

std::array<uint8_t, 4> sampleInside(const RgbaCrop &image, float x, float y)
{
	std::array<uint8_t, 4> out{};
	const float fx0 = std::floor(x), fy0 = std::floor(y);
	const int32_t x0 = int32_t(fx0), y0 = int32_t(fy0);
	const float fx = x - fx0, fy = y - fy0;
	const float weights[4] = {(1.f - fx) * (1.f - fy), fx * (1.f - fy), (1.f - fx) * fy, fx * fy};
	if (x0 >= 0 && x0 + 1 < image.width && y0 >= 0 && y0 + 1 < image.height) {
		// All four neighbours inside, as for nearly every pixel: the same sums without the
		// checks (a neighbour outside adds 0, which leaves a sum as it is).
		const uint8_t *top = image.pixel(x0, y0), *bottom = image.pixel(x0, y0 + 1);
#ifdef OSTRELO_PLATES_SSE2
		// The four channels side by side: each lane goes through the scalar operations in
		// their order, and IEEE rounds a lane as it rounds a scalar.
		const auto channels = [](const uint8_t *p) {
			int32_t bytes;
			std::memcpy(&bytes, p, 4);
			const __m128i zero = _mm_setzero_si128();
			return _mm_cvtepi32_ps(
				_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zero), zero));
		};
		__m128 v = _mm_mul_ps(_mm_set1_ps(weights[0]), channels(top));
		v = _mm_add_ps(v, _mm_mul_ps(_mm_set1_ps(weights[1]), channels(top + 4)));
		v = _mm_add_ps(v, _mm_mul_ps(_mm_set1_ps(weights[2]), channels(bottom)));
		v = _mm_add_ps(v, _mm_mul_ps(_mm_set1_ps(weights[3]), channels(bottom + 4)));
		v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.f));
		// roundHalfAway of values that are not negative.
		const __m128i whole = _mm_cvttps_epi32(v);
		const __m128 fraction = _mm_sub_ps(v, _mm_cvtepi32_ps(whole));
		const __m128i rounded =
			_mm_sub_epi32(whole, _mm_castps_si128(_mm_cmpge_ps(fraction, _mm_set1_ps(0.5f))));
		const __m128i words = _mm_packs_epi32(rounded, rounded);
		const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
		std::memcpy(out.data(), &bytes, 4);
#else
		for (int ch = 0; ch < 4; ++ch) {
			float v = 0.f;
			v += weights[0] * float(top[ch]);
			v += weights[1] * float(top[4 + ch]);
			v += weights[2] * float(bottom[ch]);
			v += weights[3] * float(bottom[4 + ch]);
			out[size_t(ch)] = uint8_t(roundHalfAway(std::clamp(v, 0.f, 255.f)));
		}
#endif
		return out;
	}
	const int32_t xs[4] = {x0, x0 + 1, x0, x0 + 1}, ys[4] = {y0, y0, y0 + 1, y0 + 1};
	const uint8_t *px[4];
	for (int n = 0; n < 4; ++n)
		px[n] = xs[n] >= 0 && xs[n] < image.width && ys[n] >= 0 && ys[n] < image.height
				? image.pixel(xs[n], ys[n])
				: nullptr;
	for (int ch = 0; ch < 4; ++ch) {
		float v = 0.f;
		for (int n = 0; n < 4; ++n)
			v += px[n] ? weights[n] * float(px[n][ch]) : 0.f;
		out[size_t(ch)] = uint8_t(roundHalfAway(std::clamp(v, 0.f, 255.f)));
	}
	return out;
}

} // namespace ostrelo::plates
