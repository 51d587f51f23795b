#include "digits/image_prep.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace ostrelo {
namespace {

RgbaImage onePixel(uint8_t r, uint8_t g, uint8_t b)
{
	RgbaImage image;
	image.width = image.height = 1;
	image.pixels = {r, g, b, 77};
	return image;
}

GrayImage fromValues(int32_t w, int32_t h, std::vector<uint8_t> values)
{
	GrayImage image(w, h);
	image.pixels = std::move(values);
	return image;
}

// An image of n pixels: `share` percent at `fg`, the rest at `bg`, the foreground in a block at
// the start so the picture has a shape.
GrayImage twoLevel(int32_t w, int32_t h, int32_t share, uint8_t fg, uint8_t bg)
{
	GrayImage image(w, h, bg);
	const size_t count = image.pixels.size() * size_t(share) / 100;
	for (size_t i = 0; i < count; ++i)
		image.pixels[i] = fg;
	return image;
}

TEST(ColourConversion, GreyAndMaxChannelOfOnePixel)
{
	struct Case {
		uint8_t r, g, b;
		int gray, max;
	} cases[] = {
		{200, 100, 0, 119, 200}, // (6000 + 5900) / 100
		{255, 255, 255, 255, 255}, {0, 0, 0, 0, 0},
		{1, 1, 1, 1, 1},           {0, 0, 255, 28, 255}, // 2805 / 100 truncates
		{99, 0, 0, 29, 99},                              // 29.7 truncates
		{0, 200, 0, 118, 200},
	};
	for (const Case &c : cases) {
		const RgbaImage px = onePixel(c.r, c.g, c.b);
		EXPECT_EQ(toGray(px.view()).pixels.at(0), c.gray) << int(c.r) << "," << int(c.g) << "," << int(c.b);
		EXPECT_EQ(toMaxChannel(px.view()).pixels.at(0), c.max);
	}
}

TEST(ColourConversion, SizesStridesAndNullPixels)
{
	// Two rows of two pixels with four bytes of padding after each row.
	const std::vector<uint8_t> padded = {10, 0, 0, 0, 20, 0, 0, 0, 9, 9, 9, 9, //
					     30, 0, 0, 0, 40, 0, 0, 0, 9, 9, 9, 9};
	const GrayImage strided = toMaxChannel(RgbaCrop{padded.data(), 2, 2, 12});
	EXPECT_EQ(strided.pixels, (std::vector<uint8_t>{10, 20, 30, 40}));

	// A stride of zero or less means a tightly packed crop.
	const std::vector<uint8_t> tight = {10, 0, 0, 0, 20, 0, 0, 0, 30, 0, 0, 0, 40, 0, 0, 0};
	for (int32_t stride : {0, -5})
		EXPECT_EQ(toMaxChannel(RgbaCrop{tight.data(), 2, 2, stride}).pixels,
			  (std::vector<uint8_t>{10, 20, 30, 40}));

	const GrayImage fromNull = toGray(RgbaCrop{nullptr, 3, 2, 12});
	EXPECT_EQ(fromNull.width, 3);
	EXPECT_EQ(fromNull.height, 2);
	EXPECT_EQ(fromNull.pixels, std::vector<uint8_t>(6, 0));

	const GrayImage negative = toGray(RgbaCrop{tight.data(), -4, 2, 0});
	EXPECT_EQ(negative.width, 0);
	EXPECT_EQ(negative.height, 2);
	EXPECT_TRUE(negative.pixels.empty());
}

TEST(RedPixels, CountsOnlyStrongRed)
{
	struct Case {
		uint8_t r, g, b;
		bool red;
	} cases[] = {
		{140, 80, 80, true}, // both limits met exactly
		{139, 0, 0, false},  // R too low
		{140, 81, 0, false}, // R - max(G, B) = 59
		{200, 0, 140, true}, // blue is the larger other channel: 60
		{200, 141, 0, false}, {255, 255, 255, false},
	};
	for (const Case &c : cases) {
		const RgbaImage px = onePixel(c.r, c.g, c.b);
		EXPECT_EQ(countRedPixels(px.view()), c.red ? 1 : 0) << int(c.r) << "," << int(c.g) << "," << int(c.b);
	}
	EXPECT_EQ(countRedPixels(RgbaCrop{nullptr, 10, 10, 40}), 0);
}

TEST(RedPixels, RednessNeedsSixRedPixelsAndScalesToTheReddest)
{
	for (int32_t reds : {5, 6}) {
		RgbaImage crop;
		crop.width = 10;
		crop.height = 2;
		crop.pixels.assign(size_t(crop.width * crop.height) * 4, 0);
		for (int32_t i = 0; i < reds; ++i)
			crop.pixels[size_t(i) * 4] = 220; // (220, 0, 0): strongly red
		// A weakly red pixel (R - max(G, B) = 55) that is not counted but still has redness.
		crop.pixels[size_t(12) * 4 + 0] = 110;
		crop.pixels[size_t(12) * 4 + 1] = 55;
		const GrayImage red = toRedness(crop.view());
		if (reds == 5) {
			EXPECT_EQ(red.width, 0);
			EXPECT_EQ(red.height, 0);
			EXPECT_TRUE(red.pixels.empty());
			continue;
		}
		ASSERT_EQ(red.width, 10);
		ASSERT_EQ(red.height, 2);
		EXPECT_EQ(red.at(0, 0), 255);
		EXPECT_EQ(red.at(2, 1), 55 * 255 / 220);
		EXPECT_EQ(red.at(9, 1), 0);
	}
}

TEST(StretchContrast, OnlyDimImagesWithSomeRangeAreStretched)
{
	const GrayImage bright = fromValues(3, 1, {10, 120, 230});
	EXPECT_EQ(stretchContrast(bright).pixels, bright.pixels);
	const GrayImage flat = fromValues(3, 1, {100, 103, 105});
	EXPECT_EQ(stretchContrast(flat).pixels, flat.pixels);
	const GrayImage justEnough = fromValues(3, 1, {100, 104, 108}); // range 8
	EXPECT_EQ(stretchContrast(justEnough).pixels, (std::vector<uint8_t>{0, 127, 255}));
	const GrayImage dim = fromValues(4, 1, {50, 100, 149, 150});
	EXPECT_EQ(stretchContrast(dim).pixels, (std::vector<uint8_t>{0, 127, 252, 255}));
	const GrayImage almost = fromValues(2, 1, {0, 219});
	EXPECT_EQ(stretchContrast(almost).pixels, (std::vector<uint8_t>{0, 255}));
	EXPECT_TRUE(stretchContrast(GrayImage()).pixels.empty());
}

TEST(Otsu, DegenerateImagesGive128)
{
	EXPECT_EQ(otsuThreshold(GrayImage()), 128);
	EXPECT_EQ(otsuThreshold(GrayImage(5, 5, 0)), 128);
	EXPECT_EQ(otsuThreshold(GrayImage(5, 5, 77)), 128);
	EXPECT_EQ(otsuThreshold(GrayImage(5, 5, 255)), 128);
}

TEST(Otsu, TheFirstThresholdOfTheBestSplitWins)
{
	struct Case {
		std::vector<uint8_t> pixels;
		int32_t threshold;
	} cases[] = {
		// Every t from 10 to 199 separates the two levels equally well: the first wins.
		{{10, 10, 10, 200, 200}, 10},
		{{0, 255}, 0},
		// Three levels: the middle one joins the class it is nearer to in the weighted sense.
		{{20, 20, 20, 20, 100, 230, 230, 230}, 100},
		{{20, 20, 20, 200, 230, 230}, 20},
		{{20, 100, 100, 100, 100, 100, 230}, 100},
	};
	for (const Case &c : cases)
		EXPECT_EQ(otsuThreshold(fromValues(int32_t(c.pixels.size()), 1, c.pixels)), c.threshold);
}

TEST(Threshold, InkFromTheThresholdUp)
{
	const GrayImage image = fromValues(5, 1, {0, 99, 100, 101, 255});
	EXPECT_EQ(thresholdImage(image, 100).pixels, (std::vector<uint8_t>{0, 0, 255, 255, 255}));
	EXPECT_EQ(thresholdImage(image, 0).pixels, std::vector<uint8_t>(5, 255));
	EXPECT_EQ(thresholdImage(image, 256).pixels, std::vector<uint8_t>(5, 0));
}

TEST(ResizeBilinear, CentresEdgesAndRoundingHalfAwayFromZero)
{
	// Output centres map to -0.25, 0.25, 0.75 and 1.25 of the two input pixels; 0.5 rounds up.
	EXPECT_EQ(resizeBilinear(fromValues(2, 1, {0, 2}), 4, 1).pixels, (std::vector<uint8_t>{0, 1, 2, 2}));
	EXPECT_EQ(resizeBilinear(fromValues(2, 1, {0, 255}), 4, 1).pixels, (std::vector<uint8_t>{0, 64, 191, 255}));
	// Both axes at once: the centre of a 2 x 2 checker is the mean.
	const GrayImage checker = fromValues(2, 2, {0, 100, 100, 0});
	const GrayImage big = resizeBilinear(checker, 3, 3);
	EXPECT_EQ(big.width, 3);
	EXPECT_EQ(big.height, 3);
	EXPECT_EQ(big.at(1, 1), 50);
	EXPECT_EQ(big.at(0, 0), 0);
	EXPECT_EQ(big.at(2, 0), 100);
	// Shrinking a ramp samples between pixels.
	EXPECT_EQ(resizeBilinear(fromValues(4, 1, {0, 10, 20, 30}), 2, 1).pixels, (std::vector<uint8_t>{5, 25}));
}

TEST(ResizeBilinear, DegenerateTargetsCopy)
{
	const GrayImage image = fromValues(2, 1, {3, 4});
	for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-1, -1}, {2, 1}}) {
		const GrayImage out = resizeBilinear(image, w, h);
		EXPECT_EQ(out.width, 2);
		EXPECT_EQ(out.pixels, image.pixels);
	}
	EXPECT_TRUE(resizeBilinear(GrayImage(), 4, 4).pixels.empty());
}

TEST(UpscaleForReading, SizeByHeightAndWidth)
{
	struct Case {
		int32_t w, h, outW, outH;
	} cases[] = {
		{30, 13, 120, 52},                      // 13 x 3 = 39 < 40: factor 4
		{30, 14, 90, 42},                       // factor 3
		{30, 10, 120, 40},                      // factor 4
		{30, 5, 240, 40},                       // factor 8
		{30, 1, 240, 8},                        // no factor reaches 40: 8
		{30, 15, 60, 30},                       // duplication from 15 ...
		{30, 20, 60, 40},     {30, 27, 60, 54}, // ... to 27
		{19, 30, 38, 60},                       // tall but narrow: duplicated
		{20, 28, 20, 28},                       // copied
		{400, 300, 400, 300},
	};
	for (const Case &c : cases) {
		const GrayImage out = upscaleForReading(GrayImage(c.w, c.h, 9));
		EXPECT_EQ(out.width, c.outW) << c.w << "x" << c.h;
		EXPECT_EQ(out.height, c.outH) << c.w << "x" << c.h;
		EXPECT_TRUE(out.wellFormed());
	}
}

TEST(UpscaleForReading, DuplicationRepeatsEachPixelTwiceEachWay)
{
	GrayImage image(2, 15);
	for (int32_t y = 0; y < 15; ++y)
		for (int32_t x = 0; x < 2; ++x)
			image.at(x, y) = uint8_t(10 * y + x);
	const GrayImage out = upscaleForReading(image);
	for (int32_t y = 0; y < out.height; ++y)
		for (int32_t x = 0; x < out.width; ++x)
			ASSERT_EQ(out.at(x, y), image.at(x / 2, y / 2));
}

TEST(ResizeToHeight, SizesAndNearestNeighbour)
{
	struct Case {
		int32_t w, h, target, outW, outH;
	} cases[] = {
		{100, 50, 28, 56, 28},  {100, 50, 6, 16, 8},  // heights below 8 become 8
		{3, 10, 20, 8, 20},                           // width at least 8
		{33, 20, 40, 66, 40},   {25, 50, 21, 11, 21}, // (21 * 25 + 25) / 50 = 11: rounds to nearest
		{100, 50, 50, 100, 50},
	};
	for (const Case &c : cases) {
		const GrayImage out = resizeToHeight(GrayImage(c.w, c.h), c.target);
		EXPECT_EQ(out.width, c.outW);
		EXPECT_EQ(out.height, c.outH);
	}

	GrayImage ramp(4, 4);
	for (int32_t y = 0; y < 4; ++y)
		for (int32_t x = 0; x < 4; ++x)
			ramp.at(x, y) = uint8_t(10 * y + x);
	const GrayImage big = resizeToHeight(ramp, 8);
	ASSERT_EQ(big.width, 8);
	for (int32_t y = 0; y < 8; ++y)
		for (int32_t x = 0; x < 8; ++x)
			EXPECT_EQ(big.at(x, y), ramp.at(x / 2, y / 2));
}

TEST(ResizeToHeight, ImagesWithoutPixelsAreCopiedInsteadOfDividingByZero)
{
	for (GrayImage image : {GrayImage(), GrayImage(0, 10), GrayImage(10, 0)}) {
		const GrayImage out = resizeToHeight(image, 20);
		EXPECT_EQ(out.width, image.width);
		EXPECT_EQ(out.height, image.height);
		EXPECT_TRUE(out.pixels.empty());
	}
}

struct PolarityCase {
	const char *name;
	GrayImage image;
	uint8_t inkValue; // every pixel of this input value must be ink, every other not
};

TEST(BinarizeAdaptive, ChoosesTheDigitsAsInk)
{
	const PolarityCase cases[] = {
		// Bright-ink path: median 30 < 100, T = 200, 10 % ink is within 0.4 % .. 28 %.
		{"white digits on dark", twoLevel(40, 20, 10, 255, 30), 255},
		// max < 220: Otsu; the bright class is the 80 % background and the mean 164 is not
		// below 140, so the inverse is chosen.
		{"dark digits on light", twoLevel(40, 20, 20, 20, 200), 20},
		// Bright class 70 %, mean below 140: chosen (5 x 0.7 < 4), then inverted as it is
		// more than 3/5 of the image.
		{"bright majority on a dim image", twoLevel(40, 20, 30, 0, 150), 0},
		// Bright class 85 %, mean below 140: 5 x 0.85 >= 4, so the inverse is chosen directly.
		{"large bright class", twoLevel(40, 20, 15, 0, 130), 0},
		// Bright class at most half: chosen as it is.
		{"bright minority", twoLevel(40, 20, 40, 180, 20), 180},
		// 70 % at 226 would be ink at 224: the threshold rises to 227, leaving the 255 digits.
		{"bright background raises the threshold",
		 [] {
			 GrayImage image = twoLevel(40, 20, 10, 255, 226);
			 for (size_t i = image.pixels.size() * 70 / 100; i < image.pixels.size(); ++i)
				 image.pixels[i] = 100;
			 return image;
		 }(),
		 255},
		// Nothing reaches 224 with a median of 120: the threshold falls to 220 (1 % ink).
		{"faint highlights lower the threshold", twoLevel(40, 20, 1, 220, 120), 220},
	};
	for (const PolarityCase &c : cases) {
		const GrayImage out = binarizeAdaptive(c.image);
		ASSERT_EQ(out.pixels.size(), c.image.pixels.size()) << c.name;
		for (size_t i = 0; i < out.pixels.size(); ++i)
			ASSERT_EQ(out.pixels[i], c.image.pixels[i] == c.inkValue ? 255 : 0) << c.name << " at " << i;
	}
}

TEST(BinarizeAdaptive, BrightSearchStaysWithinItsRange)
{
	// 99.8 % at 120 and 0.2 % at 255: even 216 leaves too little ink for the bright path, which
	// falls through to Otsu (the 255 pixels are still the smaller bright class).
	GrayImage image(50, 20, 120);
	image.pixels[0] = 255;
	image.pixels[1] = 255;
	const GrayImage out = binarizeAdaptive(image);
	EXPECT_EQ(inkCount(out), 2);
	EXPECT_EQ(out.pixels[0], 255);
}

TEST(Binarize, UniformAndEmptyImages)
{
	for (uint8_t v : {0, 77, 219, 220, 255}) {
		EXPECT_EQ(inkCount(binarizeAdaptive(GrayImage(9, 9, v))), 0) << int(v);
		EXPECT_EQ(inkCount(binarizeOtsu(GrayImage(9, 9, v))), 0) << int(v);
	}
	EXPECT_TRUE(binarizeAdaptive(GrayImage()).pixels.empty());
	EXPECT_TRUE(binarizeOtsu(GrayImage()).pixels.empty());
}

// The binarisations step by step on whole images, the slow way the reader used to do them.
GrayImage plainStretch(const GrayImage &g)
{
	const auto [lo, hi] = std::minmax_element(g.pixels.begin(), g.pixels.end());
	GrayImage out = g;
	for (uint8_t &p : out.pixels)
		p = uint8_t((p - *lo) * 255 / std::max(1, *hi - *lo));
	return out;
}

GrayImage plainAdaptive(const GrayImage &g)
{
	const int64_t n = int64_t(g.pixels.size());
	std::vector<uint8_t> sorted = g.pixels;
	std::sort(sorted.begin(), sorted.end());
	const int32_t max = sorted.back();
	auto c = [&](int32_t t) {
		return std::count_if(g.pixels.begin(), g.pixels.end(), [t](uint8_t p) { return p >= t; });
	};
	if (max >= 220) {
		int32_t T = sorted[size_t(n / 2)] < 100 ? 200 : 224;
		if (100 * c(T) > 28 * n) {
			for (int32_t t = 225; t <= max - 1; ++t)
				if (100 * c(t) <= 28 * n) {
					T = t;
					break;
				}
		} else if (250 * c(T) < n) {
			for (int32_t t = 223; t >= 216; --t)
				if (250 * c(t) >= n) {
					T = t;
					break;
				}
		}
		if (250 * c(T) >= n && 100 * c(T) <= 28 * n)
			return thresholdImage(g, T);
	}
	const GrayImage stretched = plainStretch(g);
	const GrayImage b = thresholdImage(stretched, otsuThreshold(stretched) + 1);
	const int64_t a = inkCount(b);
	int64_t sum = 0;
	for (uint8_t p : g.pixels)
		sum += p;
	GrayImage chosen = (a <= n - a || (float(sum) / float(n) < 140.f && 5 * a < 4 * n)) ? b : invertImage(b);
	return inkCount(chosen) > 3 * n / 5 ? invertImage(chosen) : chosen;
}

GrayImage plainOtsu(const GrayImage &g)
{
	const GrayImage stretched = plainStretch(g);
	const GrayImage b = thresholdImage(stretched, otsuThreshold(stretched) + 1);
	return 2 * inkCount(b) > int64_t(g.pixels.size()) ? invertImage(b) : b;
}

TEST(Binarize, HistogramShortcutsEqualTheStepByStepDefinition)
{
	std::mt19937 rng(17);
	std::vector<GrayImage> images;
	for (const char *number : {"42", "907", "1"})
		for (auto [ink, ground] : {std::pair{235, 25}, {25, 230}, {180, 120}, {120, 180}, {255, 250}}) {
			const GrayImage clean = test::renderNumber(number, 22, uint8_t(ink), uint8_t(ground));
			images.push_back(clean);
			GrayImage noisy = clean;
			for (uint8_t &p : noisy.pixels)
				p = uint8_t(std::clamp(int(p) + int(rng() % 41) - 20, 0, 255));
			images.push_back(noisy);
		}
	for (int32_t i = 0; i < 300; ++i) {
		GrayImage g(1 + int32_t(rng() % 50), 1 + int32_t(rng() % 30));
		// Two or three levels with some spread, in random proportions: every branch gets used.
		const int32_t levels[3] = {int32_t(rng() % 256), int32_t(rng() % 256), int32_t(rng() % 256)};
		const uint32_t share = 1 + rng() % 99, third = rng() % 20;
		const int32_t spread = int32_t(rng() % 12);
		for (uint8_t &p : g.pixels) {
			const uint32_t r = rng() % 100;
			const int32_t base = r < third ? levels[2] : r < share ? levels[0] : levels[1];
			p = uint8_t(std::clamp(base + int32_t(rng() % uint32_t(2 * spread + 1)) - spread, 0, 255));
		}
		images.push_back(g);
	}
	for (const GrayImage &g : images) {
		ASSERT_EQ(binarizeAdaptive(g).pixels, plainAdaptive(g).pixels) << test::toArt(g);
		ASSERT_EQ(binarizeOtsu(g).pixels, plainOtsu(g).pixels) << test::toArt(g);
	}
}

TEST(BinarizeOtsu, InvertsWhenTheBrightClassIsTheMajority)
{
	struct Case {
		GrayImage image;
		uint8_t inkValue;
	} cases[] = {
		{twoLevel(20, 10, 20, 20, 200), 20},  // dark digits on light
		{twoLevel(20, 10, 20, 200, 20), 200}, // light digits on dark
		{twoLevel(20, 10, 50, 200, 20), 200}, // exactly half: not inverted
		{twoLevel(20, 10, 30, 0, 150), 0},    // bright 70 %: inverted whatever the mean
	};
	for (const Case &c : cases) {
		const GrayImage out = binarizeOtsu(c.image);
		for (size_t i = 0; i < out.pixels.size(); ++i)
			ASSERT_EQ(out.pixels[i], c.image.pixels[i] == c.inkValue ? 255 : 0) << i;
	}
}

} // namespace
} // namespace ostrelo
