#pragma once

// The two kinds of layer the learned reader's network is made of, in two builds: plain C++ that
// the compiler vectorises for any CPU (learned_model.cpp), and AVX2 with FMA
// (learned_kernels_avx2.cpp), used only where the CPU and the operating system support them.
// Both keep a pixel's channels together ([pixel][channel]) and read weights with the output
// channels innermost, as tools/learned/export.py writes them.

#include <cstddef>

// Built where the compiler has the intrinsics and a way to ask the CPU; a build may leave the
// AVX2 layers out with -DOSTRELO_LEARNED_AVX2=0.
#ifndef OSTRELO_LEARNED_AVX2
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define OSTRELO_LEARNED_AVX2 1
#elif defined(_MSC_VER) && defined(_M_X64)
#define OSTRELO_LEARNED_AVX2 1
#else
#define OSTRELO_LEARNED_AVX2 0
#endif
#endif

namespace ostrelo::learned {

// Which build of the layers runs the network.
enum class Kernels { Portable, Avx2 };

// Whether this build has the AVX2 layers and this machine can run them (AVX2, FMA and the
// operating system saving the 256-bit registers). Asked once; the answer does not change.
bool avx2Available();

#if OSTRELO_LEARNED_AVX2
// out[i][co] = bias[co] + sum over ci of in[i][ci] * w[ci][co] for n pixels, then max(0, .)
// when relu.
void pointwiseAvx2(const float *in, int n, int ci, int co, const float *w, const float *bias, bool relu, float *out);

// Depthwise kh x kw convolution of an h x w image with c channels (a multiple of 8), zero
// padding (kh / 2, kw / 2), no bias; weights [ky][kx][c].
void depthwiseAvx2(const float *in, int h, int w, int c, int kh, int kw, const float *weights, float *out);
#endif

} // namespace ostrelo::learned
