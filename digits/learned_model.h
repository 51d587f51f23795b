#pragma once

// The network of the learned digit reader: one fixed architecture, written out by hand.
// tools/learned/net.py defines the same layers for training; tools/learned/export.py writes
// their weights in the order and layout read here.

#include "digits/learned_kernels.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrelo::learned {

// The input canvas: 3 channels (R, G, B, standardised), kInputHeight rows, a width that is a
// multiple of kWidthStep between kMinWidth and kMaxWidth (tools/learned/prep.py makes the same).
inline constexpr int kInputHeight = 24;
inline constexpr int kMaxWidth = 128;
inline constexpr int kWidthStep = 8;
inline constexpr int kMinWidth = 16;
// The scaled crop's values (0..1) minus their mean, divided by their standard deviation but
// never by less than this: a flat crop stays flat instead of turning its noise into strokes.
inline constexpr float kMinStd = 0.04f;

// Scores per output frame (one frame per two input columns): blank, then the digits 0 to 9.
inline constexpr int kClasses = 11;

inline constexpr int kC1 = 24;
inline constexpr int kC2 = 48;
inline constexpr int kC3 = 64;
inline constexpr int kC4 = 64;
inline constexpr int kFeat = 80;
inline constexpr int kSeqKernel = 5;

inline constexpr size_t kWeightCount =
	size_t(9 * 3 * kC1 + kC1) + size_t(9 * kC1 + kC1 * kC2 + kC2) + size_t(9 * kC2 + kC2 * kC3 + kC3) +
	size_t(9 * kC3 + kC3 * kC4 + kC4) + size_t(3 * kC4 * kFeat + kFeat) +
	size_t(kSeqKernel * kFeat + kFeat * kFeat + kFeat) + size_t(kFeat * kClasses + kClasses);

// Runs the network on a canvas stored row by row with the three channels of a pixel together
// ([y][x][c], width a multiple of kWidthStep). Returns width / 2 frames of kClasses scores
// (before the softmax), frame by frame. weights holds kWeightCount floats.
// Runs on the AVX2 layers where the machine has them, else on the portable ones; the two give
// the same scores but for float rounding.
std::vector<float> runNetwork(const float *weights, const float *canvas, int width);

// The same on the given layers (the portable ones when AVX2 is asked for but not available).
std::vector<float> runNetwork(const float *weights, const float *canvas, int width, Kernels kernels);

} // namespace ostrelo::learned
