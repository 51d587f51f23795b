#pragma once

#include "common/gray_image.h"
#include "common/rgba_crop.h"

#include <array>
#include <cstdint>

namespace ostrelo {

// Colour to grey. A stride of 0 or less means width * 4; a null pixel pointer gives an all-zero
// image of the crop's size.
GrayImage toGray(const RgbaCrop &crop);       // (30 R + 59 G + 11 B) / 100
GrayImage toMaxChannel(const RgbaCrop &crop); // max(R, G, B)

// Pixels with R >= 140 and R - max(G, B) >= 60. The stride must cover a row (callers pass
// width * 4); a null pixel pointer counts nothing.
int32_t countRedPixels(const RgbaCrop &crop);

// How much red stands out over the other channels, scaled so the reddest pixel is 255. Empty
// when the crop holds fewer than 6 strongly red pixels.
GrayImage toRedness(const RgbaCrop &crop);

// Spreads a dim image over 0..255. Images that already reach 220, or whose range is below 8,
// come back unchanged.
GrayImage stretchContrast(const GrayImage &image);

// Threshold that best separates the histogram into two classes; 128 when nothing separates.
int32_t otsuThreshold(const GrayImage &image);

// 255 where p >= t, else 0.
GrayImage thresholdImage(const GrayImage &image, int32_t t);

GrayImage resizeBilinear(const GrayImage &image, int32_t width, int32_t height);

// Enlarges HUD-sized crops to the size the segmentation works best at.
GrayImage upscaleForReading(const GrayImage &image);

// Nearest-neighbour resize to a height of at least 8, keeping the aspect.
GrayImage resizeToHeight(const GrayImage &image, int32_t height);

// The histogram of an image with its pixel count, sum, and smallest and largest value.
struct PixelStats {
	std::array<int64_t, 256> bins{};
	int64_t n = 0;
	int64_t sum = 0;
	int32_t min = 255;
	int32_t max = 0;

	explicit PixelStats(const GrayImage &image);
	// The value at index k of the pixels in ascending order.
	int32_t valueAt(int64_t k) const;
};

// Bilevel images with the digits as ink (255), whatever their polarity in the input.
GrayImage binarizeAdaptive(const GrayImage &image);
GrayImage binarizeOtsu(const GrayImage &image);
// The same with the image's statistics already at hand (a reader binarises one image twice).
GrayImage binarizeAdaptive(const GrayImage &image, const PixelStats &stats);
GrayImage binarizeOtsu(const GrayImage &image, const PixelStats &stats);

// A pixel of a bilevel image is ink when its top bit is set.
inline bool isInk(uint8_t p)
{
	return p >= 128;
}

// How many pixels have each value.
std::array<int64_t, 256> pixelHistogram(const GrayImage &image);

// 255 - p for every pixel.
GrayImage invertImage(const GrayImage &image);

// Number of non-zero pixels.
int64_t inkCount(const GrayImage &image);

} // namespace ostrelo
