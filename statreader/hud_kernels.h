#pragma once

// The classifier's inner loops: over rows of RGBA pixels (R, G, B, A bytes), with the weighted
// luma 77 R + 150 G + 29 B and the luma (77 R + 150 G + 29 B) >> 8, and the template
// correlation's sums of products. Vectors where the processor has SSE2 (every x86-64) or
// AVX2, one value at a time elsewhere and for the last few.

#include <cstddef>
#include <cstdint>

namespace ostrelo::hud {

// The instruction sets the kernels come in. They give the same results bit for bit; each
// kernel uses the best the processor has (AVX2 is looked for at run time, with GCC and clang).
enum class KernelSet { Plain, Sse2, Avx2 };
KernelSet bestKernels();
// For tests and benchmarks: use this set, or the best the processor has when that is less.
void useKernels(KernelSet set);
KernelSet activeKernels();

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

// How many of n pixels are warm, as a downed bar's red is: R > 160, 31 <= G <= 139, B < 80
// and R > G + 40.
uint32_t countWarm(const uint8_t *rgba, size_t n);

// What the normalised cross-correlation needs of the template: the number of its pixels n,
// their sum and energy (sum of t^2 - sum^2 / n); flat when the energy is at most 0.001.
struct CorrelationTerms {
	double n = 0;
	double sumT = 0;
	double energyT = 0;
	bool flatTemplate = true;
};

// Normalised cross-correlation of count positions from their cross sums and window sums of v
// and v^2: (cross - sumT * sum / n) / sqrt(energyT * (squares - sum^2 / n)) in double, out as
// float; -1 where the window is flat (variance at most 0.001) or the template is.
void correlationScores(const int64_t *cross, const double *sums, const double *squares, size_t count,
		       const CorrelationTerms &terms, float *out);

} // namespace ostrelo::hud
