#pragma once

// The classifier's inner loops: over rows of RGBA pixels (R, G, B, A bytes), with the weighted
// luma 77 R + 150 G + 29 B and the luma (77 R + 150 G + 29 B) >> 8, and the template
// correlation's sums of products. Vectors where the processor has SSE2 (every x86-64), one
// value at a time elsewhere and for the last few.

#include <cstddef>
#include <cstdint>

namespace ostrelo::hud {

// Sum and sum of squares of the luma of n pixels, added to sum and squares.
void addLumaMoments(const uint8_t *rgba, size_t n, uint64_t &sum, uint64_t &squares);

// How many of n pixels have a weighted luma above threshold.
uint32_t countWeightedAbove(const uint8_t *rgba, size_t n, int32_t threshold);

// sums[i] = luma of pixel i, or sums[i] += it when accumulate is set.
void storeLuma(const uint8_t *rgba, size_t n, uint32_t *sums, bool accumulate);

// Sums of image x template for count template positions along one row of a 16-bit image,
// step columns apart: out[k] = sum over rows i < height and columns j < rowLength of
// image[i * stride + k * step + j] * tpl[i * rowLength + j]. rowLength is a multiple of 8 and
// the template is zero beyond its own width. Values are 0 to 255.
void crossSums(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength, int32_t height, int32_t step,
	       int32_t count, int64_t *out);

} // namespace ostrelo::hud
