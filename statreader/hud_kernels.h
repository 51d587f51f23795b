#pragma once

// The classifier's inner loops: over rows of RGBA pixels (R, G, B, A bytes), with the weighted
// luma 77 R + 150 G + 29 B and the luma (77 R + 150 G + 29 B) >> 8, and the template
// correlation's sums of products. Vectors where the processor has SSE2 (every x86-64), one
// value at a time elsewhere and for the last few.

#include <cstddef>
#include <cstdint>

namespace ostrelo::hud {

// The kernels read boxes of a frame: runs of a few kilobytes a whole frame row apart, on
// which hardware prefetchers start over every time. Each takes the row it will read next (or
// null) and asks for it as it goes: on a frame that is not in the caches, that made a whole
// classification of a 1080p frame about 1.5 times and of a 4K frame about 1.8 times as fast
// (measured on the 2-core test machine).

// Sum and sum of squares of the luma of n pixels, added to sum and squares.
void addLumaMoments(const uint8_t *rgba, size_t n, uint64_t &sum, uint64_t &squares, const uint8_t *next);

// How many of n pixels have a weighted luma above threshold.
uint32_t countWeightedAbove(const uint8_t *rgba, size_t n, int32_t threshold, const uint8_t *next);

// sums[i] = the sum of the luma of pixel i over rows rows, lineSize bytes apart: the column
// sums of a row of d x d blocks. The rows are read side by side, a few pixels of each in turn;
// next is the first of the next row of blocks.
void sumLumaColumns(const uint8_t *rgba, size_t lineSize, int32_t rows, size_t n, uint32_t *sums, const uint8_t *next);

// Sums of image x template for count template positions along one row of a 16-bit image,
// step columns apart: out[k] = sum over rows i < height and columns j < rowLength of
// image[i * stride + k * step + j] * tpl[i * rowLength + j]. rowLength is a multiple of 8 and
// the template is zero beyond its own width. Values are 0 to 255.
void crossSums(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength, int32_t height, int32_t step,
	       int32_t count, int64_t *out);

} // namespace ostrelo::hud
