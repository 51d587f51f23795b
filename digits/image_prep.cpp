#include "digits/image_prep.h"

#include <algorithm>
#include <array>
#include <cmath>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace ostrelo {
namespace {

// Applies f(R, G, B) to every pixel of a crop. A stride of 0 or less means a tightly packed crop.
template <typename F>
GrayImage mapChannels(const RgbaCrop &crop, F f)
{
	GrayImage out(std::max(0, crop.width), std::max(0, crop.height));
	if (!crop.data || out.empty())
		return out;
	const int64_t stride = crop.stride > 0 ? int64_t(crop.stride) : int64_t(out.width) * 4;
	for (int32_t y = 0; y < out.height; ++y) {
		const uint8_t *src = crop.data + int64_t(y) * stride;
		uint8_t *dst = out.row(y);
		for (int32_t x = 0; x < out.width; ++x, src += 4)
			dst[x] = f(src[0], src[1], src[2]);
	}
	return out;
}

bool isStronglyRed(const uint8_t *p)
{
	return p[0] >= 140 && int(p[0]) - int(std::max(p[1], p[2])) >= 60;
}

int32_t otsuFromHistogram(const std::array<int64_t, 256> &hist, int64_t n)
{
	if (n <= 0)
		return 128;
	float total = 0.f;
	for (int32_t i = 0; i < 256; ++i)
		total += float(int64_t(i) * hist[size_t(i)]);

	int64_t wB = 0;
	float sumB = 0.f;
	float best = -1.f;
	int32_t threshold = 128;
	for (int32_t t = 0; t < 256; ++t) {
		wB += hist[size_t(t)];
		if (wB == 0)
			continue;
		if (wB == n)
			break;
		sumB += float(int64_t(t) * hist[size_t(t)]);
		const float mB = sumB / float(wB);
		const float mF = (total - sumB) / float(n - wB);
		const float d = mB - mF;
		const float between = float(n - wB) * float(wB) * d * d;
		if (between > best) {
			best = between;
			threshold = t;
		}
	}
	return threshold;
}

// The Otsu split both binarisations share: stretch to the full range, (p - min) * 255 /
// max(1, max - min), and take the pixels above the Otsu threshold of the stretched image.
// Worked out on the histogram, so the image is read once more only to write the result.
// The stretch is monotonic, so the bright class is every input value from some value on.
struct BrightSplit {
	int32_t from = 256; // the smallest input value in the bright class
	int64_t count = 0;  // pixels in the bright class
};

BrightSplit splitStretched(const PixelStats &hist)
{
	const int32_t range = std::max(1, hist.max - hist.min);
	std::array<int32_t, 256> stretched{};
	std::array<int64_t, 256> stretchedHist{};
	for (int32_t v = hist.min; v <= hist.max; ++v) {
		stretched[size_t(v)] = (v - hist.min) * 255 / range;
		stretchedHist[size_t(stretched[size_t(v)])] += hist.bins[size_t(v)];
	}
	const int32_t t = otsuFromHistogram(stretchedHist, hist.n) + 1;
	BrightSplit split;
	for (int32_t v = hist.max; v >= hist.min && stretched[size_t(v)] >= t; --v) {
		split.from = v;
		split.count += hist.bins[size_t(v)];
	}
	return split;
}

// 255 where p >= t (or, inverted, where p < t), else 0. Written as a plain comparison so that
// the compiler can do it many pixels at a time.
GrayImage thresholdFrom(const GrayImage &image, int32_t t, bool inverted)
{
	GrayImage out = image;
	if (t <= 0 || t > 255) {
		std::fill(out.pixels.begin(), out.pixels.end(), uint8_t((t <= 0) != inverted ? 255 : 0));
		return out;
	}
	const uint8_t from = uint8_t(t);
	const uint8_t flip = inverted ? 255 : 0;
	uint8_t *p = out.pixels.data();
	const size_t n = out.pixels.size();
	size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
	// Sixteen pixels at a time: p >= from exactly where max(p, from) == p.
	const __m128i vFrom = _mm_set1_epi8(char(from));
	const __m128i vFlip = _mm_set1_epi8(char(flip));
	for (; i + 16 <= n; i += 16) {
		const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
		const __m128i ink = _mm_cmpeq_epi8(_mm_max_epu8(v, vFrom), v);
		_mm_storeu_si128(reinterpret_cast<__m128i *>(p + i), _mm_xor_si128(ink, vFlip));
	}
#endif
	for (; i < n; ++i)
		p[i] = uint8_t(uint8_t(0u - uint32_t(p[i] >= from)) ^ flip);
	return out;
}

// Each pixel as a 2 x 2 block.
GrayImage doubled(const GrayImage &image)
{
	GrayImage out(2 * image.width, 2 * image.height);
	for (int32_t y = 0; y < image.height; ++y) {
		const uint8_t *src = image.row(y);
		uint8_t *dst = out.row(2 * y);
		for (int32_t x = 0; x < image.width; ++x)
			dst[2 * x] = dst[2 * x + 1] = src[x];
		std::copy(dst, dst + out.width, out.row(2 * y + 1));
	}
	return out;
}

} // namespace

GrayImage toGray(const RgbaCrop &crop)
{
	return mapChannels(crop, [](int r, int g, int b) { return uint8_t((30 * r + 59 * g + 11 * b) / 100); });
}

GrayImage toMaxChannel(const RgbaCrop &crop)
{
	return mapChannels(crop, [](uint8_t r, uint8_t g, uint8_t b) { return std::max(r, std::max(g, b)); });
}

int32_t countRedPixels(const RgbaCrop &crop)
{
	if (!crop.data)
		return 0;
	int32_t count = 0;
	for (int32_t y = 0; y < crop.height; ++y)
		for (int32_t x = 0; x < crop.width; ++x)
			count += isStronglyRed(crop.pixel(x, y)) ? 1 : 0;
	return count;
}

GrayImage toRedness(const RgbaCrop &crop)
{
	if (countRedPixels(crop) < 6)
		return GrayImage();
	GrayImage out(crop.width, crop.height);
	int32_t largest = 0;
	for (int32_t y = 0; y < out.height; ++y) {
		for (int32_t x = 0; x < out.width; ++x) {
			const uint8_t *p = crop.pixel(x, y);
			const int32_t r = std::max(0, int32_t(p[0]) - int32_t(std::max(p[1], p[2])));
			out.at(x, y) = uint8_t(r);
			largest = std::max(largest, r);
		}
	}
	const int32_t m = std::max(1, largest);
	for (uint8_t &p : out.pixels)
		p = uint8_t(std::min(255, int32_t(p) * 255 / m));
	return out;
}

GrayImage stretchContrast(const GrayImage &image)
{
	GrayImage out = image;
	if (out.pixels.empty())
		return out;
	const auto [lo, hi] = std::minmax_element(out.pixels.begin(), out.pixels.end());
	const int32_t min = *lo;
	const int32_t max = *hi;
	if (max >= 220)
		return out;
	const int32_t range = std::max(1, max - min);
	if (range < 8)
		return out;
	for (uint8_t &p : out.pixels)
		p = uint8_t((int32_t(p) - min) * 255 / range);
	return out;
}

int32_t otsuThreshold(const GrayImage &image)
{
	const int64_t n = int64_t(std::max(0, image.width)) * int64_t(std::max(0, image.height));
	return otsuFromHistogram(pixelHistogram(image), n);
}

std::array<int64_t, 256> pixelHistogram(const GrayImage &image)
{
	std::array<int64_t, 256> bins{};
	const uint8_t *p = image.pixels.data();
	const size_t n = image.pixels.size();
	// Four partial counts: runs of equal pixels (the background) would otherwise wait on the
	// previous increment of the same counter. They are 32-bit, half the table to clear and add
	// up for the small crops read here, so they are flushed before they could overflow.
	constexpr size_t kChunk = size_t(1) << 30;
	for (size_t begin = 0; begin < n; begin += kChunk) {
		std::array<std::array<uint32_t, 256>, 4> part{};
		// Plain pointers: the checked builds keep std::array's operator[] a call per pixel.
		uint32_t *const h0 = part[0].data(), *const h1 = part[1].data(), *const h2 = part[2].data(),
				*const h3 = part[3].data();
		const size_t end = std::min(n, begin + kChunk);
		size_t i = begin;
		for (; i + 4 <= end; i += 4) {
			++h0[p[i]];
			++h1[p[i + 1]];
			++h2[p[i + 2]];
			++h3[p[i + 3]];
		}
		for (; i < end; ++i)
			++h0[p[i]];
		for (size_t v = 0; v < 256; ++v)
			bins[v] +=
				int64_t(part[0][v]) + int64_t(part[1][v]) + int64_t(part[2][v]) + int64_t(part[3][v]);
	}
	return bins;
}

GrayImage thresholdImage(const GrayImage &image, int32_t t)
{
	return thresholdFrom(image, t, false);
}

GrayImage invertImage(const GrayImage &image)
{
	GrayImage out = image;
	for (uint8_t &p : out.pixels)
		p = uint8_t(255 - p);
	return out;
}

int64_t inkCount(const GrayImage &image)
{
	return std::count_if(image.pixels.begin(), image.pixels.end(), [](uint8_t p) { return p != 0; });
}

GrayImage resizeBilinear(const GrayImage &image, int32_t width, int32_t height)
{
	if (width <= 0 || height <= 0 || !image.wellFormed() || (width == image.width && height == image.height))
		return image;

	struct Tap {
		int32_t i0, i1;
		float f;
	};
	// Pixel centres of the output mapped back into the input, clamped at the edges.
	auto taps = [](int32_t src, int32_t dst) {
		std::vector<Tap> out(static_cast<size_t>(dst));
		const float scale = float(src) / float(dst);
		for (int32_t i = 0; i < dst; ++i) {
			const float s = scale * (float(i) + 0.5f) - 0.5f;
			int32_t i0 = 0;
			float f = 0.f;
			if (s >= 0.f) {
				i0 = int32_t(s);
				f = s - float(i0);
			}
			const int32_t i1 = std::min(i0 + 1, src - 1);
			out[size_t(i)] = Tap{std::min(i0, src - 1), i1, f};
		}
		return out;
	};
	const std::vector<Tap> cols = taps(image.width, width);
	const std::vector<Tap> rows = taps(image.height, height);

	GrayImage out(width, height);
	for (int32_t i = 0; i < height; ++i) {
		const Tap &ty = rows[size_t(i)];
		const uint8_t *r0 = image.row(ty.i0);
		const uint8_t *r1 = image.row(ty.i1);
		uint8_t *dst = out.row(i);
		for (int32_t j = 0; j < width; ++j) {
			const Tap &tx = cols[size_t(j)];
			const float fx = tx.f, fy = ty.f;
			float v = (1.f - fx) * (1.f - fy) * float(r0[tx.i0]) + fx * (1.f - fy) * float(r0[tx.i1]) +
				  (1.f - fx) * fy * float(r1[tx.i0]) + fx * fy * float(r1[tx.i1]);
			v = std::min(255.f, std::max(0.f, v));
			dst[j] = uint8_t(std::round(v));
		}
	}
	return out;
}

GrayImage upscaleForReading(const GrayImage &image)
{
	if (!image.wellFormed())
		return image;
	const int32_t w = image.width;
	const int32_t h = image.height;
	if (h >= 28 && w >= 20)
		return image;
	if (h >= 15)
		return doubled(image);
	int32_t k = 8;
	for (int32_t f = 3; f <= 8; ++f) {
		if (h * f >= 40) {
			k = f;
			break;
		}
	}
	return resizeBilinear(image, k * w, k * h);
}

GrayImage resizeToHeight(const GrayImage &image, int32_t height)
{
	const int32_t outH = std::max(8, height);
	// An image without pixels has no aspect to keep (and its height would divide by zero).
	if (outH == image.height || !image.wellFormed())
		return image;
	const int64_t w = image.width;
	const int64_t h = image.height;
	const int32_t outW = int32_t(std::max<int64_t>(8, (int64_t(outH) * w + h / 2) / h));
	std::vector<int32_t> srcX(static_cast<size_t>(outW));
	for (int32_t x = 0; x < outW; ++x)
		srcX[size_t(x)] = int32_t(std::min<int64_t>(int64_t(x) * w / outW, w - 1));
	GrayImage out(outW, outH);
	for (int32_t y = 0; y < outH; ++y) {
		const uint8_t *src = image.row(int32_t(std::min<int64_t>(int64_t(y) * h / outH, h - 1)));
		uint8_t *dst = out.row(y);
		for (int32_t x = 0; x < outW; ++x)
			dst[x] = src[srcX[size_t(x)]];
	}
	return out;
}

PixelStats::PixelStats(const GrayImage &image) : bins(pixelHistogram(image))
{
	for (int32_t v = 0; v < 256; ++v) {
		if (bins[size_t(v)] == 0)
			continue;
		n += bins[size_t(v)];
		sum += int64_t(v) * bins[size_t(v)];
		min = std::min(min, v);
		max = std::max(max, v);
	}
}

int32_t PixelStats::valueAt(int64_t k) const
{
	int64_t seen = 0;
	for (int32_t v = 0; v < 256; ++v) {
		seen += bins[size_t(v)];
		if (seen > k)
			return v;
	}
	return max;
}

GrayImage binarizeAdaptive(const GrayImage &image)
{
	if (!image.wellFormed())
		return GrayImage();
	return binarizeAdaptive(image, PixelStats(image));
}

GrayImage binarizeAdaptive(const GrayImage &image, const PixelStats &hist)
{
	if (!image.wellFormed())
		return GrayImage();
	const int64_t n = hist.n;
	// atLeast[t] = number of pixels >= t. Ratios are compared as 64-bit products: a 4K frame
	// region times 250 no longer fits in 32 bits.
	std::array<int64_t, 257> atLeast{};
	for (int32_t t = 255; t >= 0; --t)
		atLeast[size_t(t)] = atLeast[size_t(t) + 1] + hist.bins[size_t(t)];
	auto c = [&](int32_t t) { return atLeast[size_t(std::clamp(t, 0, 256))]; };

	if (hist.max >= 220) {
		const int32_t median = hist.valueAt(n / 2);
		int32_t T = median < 100 ? 200 : 224;
		if (100 * c(T) > 28 * n) {
			// Too much would be ink: raise the threshold until at most 28 % is.
			for (int32_t t = 225; t <= hist.max - 1; ++t) {
				if (100 * c(t) <= 28 * n) {
					T = t;
					break;
				}
			}
		} else if (250 * c(T) < n) {
			// Almost nothing would be ink: lower it a little, but never into the grey.
			for (int32_t t = 223; t >= 216; --t) {
				if (250 * c(t) >= n) {
					T = t;
					break;
				}
			}
		}
		if (250 * c(T) >= n && 100 * c(T) <= 28 * n)
			return thresholdImage(image, T);
	}

	// B is the bright class; choose it or its inverse, then make sure ink stays the minority.
	const BrightSplit split = splitStretched(hist);
	const int64_t a = split.count;
	const float mean = float(hist.sum) / float(n);
	bool inverted = !(a <= n - a || (mean < 140.f && 5 * a < 4 * n));
	const int64_t ink = inverted ? n - a : a;
	if (ink > 3 * n / 5)
		inverted = !inverted;
	return thresholdFrom(image, split.from, inverted);
}

GrayImage binarizeOtsu(const GrayImage &image)
{
	if (!image.wellFormed())
		return image;
	return binarizeOtsu(image, PixelStats(image));
}

GrayImage binarizeOtsu(const GrayImage &image, const PixelStats &hist)
{
	if (!image.wellFormed())
		return image;
	const BrightSplit split = splitStretched(hist);
	return thresholdFrom(image, split.from, 2 * split.count > hist.n);
}

} // namespace ostrelo
