#include "digits/learned_kernels.h"

#if OSTRELO_LEARNED_AVX2

#include <immintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

#include <vector>

// GCC and clang compile only these functions for AVX2 and FMA; the rest of the program stays
// for any x86-64 and calls them only after avx2Available(). MSVC compiles the intrinsics as
// they are, whatever the target architecture of the file.
#if defined(_MSC_VER) && !defined(__clang__)
#define OSTRELO_AVX2_FN
#else
#define OSTRELO_AVX2_FN __attribute__((target("avx2,fma")))
#endif

namespace ostrelo::learned {

namespace {

bool cpuRunsAvx2()
{
#if defined(_MSC_VER) && !defined(__clang__)
	int r[4];
	__cpuid(r, 0);
	if (r[0] < 7)
		return false;
	__cpuid(r, 1);
	const bool fma = (r[2] & (1 << 12)) != 0, osxsave = (r[2] & (1 << 27)) != 0, avx = (r[2] & (1 << 28)) != 0;
	// The operating system must save the upper halves of the registers on a context switch.
	if (!fma || !osxsave || !avx || (_xgetbv(0) & 6) != 6)
		return false;
	__cpuidex(r, 7, 0);
	return (r[1] & (1 << 5)) != 0;
#else
	// GCC's and clang's checks include the operating system's support of the registers.
	__builtin_cpu_init();
	return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
}

// P pixels by 8 V output channels summed over all inputs at once: every weight vector loaded
// serves P pixels, every input value broadcast serves V vectors. Used for the few pixels left
// over and for an odd block of 8 channels.
template <int P, int V>
OSTRELO_AVX2_FN inline void pointwiseTile(const float *in, int ci, int co, const float *w, const float *bias, bool relu,
					  float *out)
{
	__m256 acc[P][V];
	for (int v = 0; v < V; ++v) {
		const __m256 b = _mm256_loadu_ps(bias + 8 * v);
		for (int p = 0; p < P; ++p)
			acc[p][v] = b;
	}
	for (int k = 0; k < ci; ++k) {
		__m256 wv[V];
		for (int v = 0; v < V; ++v)
			wv[v] = _mm256_loadu_ps(w + size_t(k) * size_t(co) + size_t(8 * v));
		for (int p = 0; p < P; ++p) {
			const __m256 x = _mm256_broadcast_ss(in + size_t(p) * size_t(ci) + size_t(k));
			for (int v = 0; v < V; ++v)
				acc[p][v] = _mm256_fmadd_ps(x, wv[v], acc[p][v]);
		}
	}
	const __m256 zero = _mm256_setzero_ps();
	for (int p = 0; p < P; ++p)
		for (int v = 0; v < V; ++v)
			_mm256_storeu_ps(out + size_t(p) * size_t(co) + size_t(8 * v),
					 relu ? _mm256_max_ps(acc[p][v], zero) : acc[p][v]);
}

OSTRELO_AVX2_FN inline void store(float *out, __m256 v, bool relu)
{
	_mm256_storeu_ps(out, relu ? _mm256_max_ps(v, _mm256_setzero_ps()) : v);
}

// The tile almost all the work goes through: 6 pixels by 16 channels in 12 registers. Written
// out with one variable per register: GCC keeps an array of vectors in memory as well and
// stores it back on every step, which cost a quarter of the reader's time.
OSTRELO_AVX2_FN inline void pointwiseTile6x16(const float *in, int ci, int co, const float *w, const float *bias,
					      bool relu, float *out)
{
	const size_t s = size_t(ci);
	const __m256 b0 = _mm256_loadu_ps(bias), b1 = _mm256_loadu_ps(bias + 8);
	__m256 a00 = b0, a01 = b1, a10 = b0, a11 = b1, a20 = b0, a21 = b1;
	__m256 a30 = b0, a31 = b1, a40 = b0, a41 = b1, a50 = b0, a51 = b1;
	for (int k = 0; k < ci; ++k) {
		const float *wk = w + size_t(k) * size_t(co);
		const __m256 w0 = _mm256_loadu_ps(wk), w1 = _mm256_loadu_ps(wk + 8);
		const float *x = in + size_t(k);
		__m256 v = _mm256_broadcast_ss(x);
		a00 = _mm256_fmadd_ps(v, w0, a00);
		a01 = _mm256_fmadd_ps(v, w1, a01);
		v = _mm256_broadcast_ss(x + s);
		a10 = _mm256_fmadd_ps(v, w0, a10);
		a11 = _mm256_fmadd_ps(v, w1, a11);
		v = _mm256_broadcast_ss(x + 2 * s);
		a20 = _mm256_fmadd_ps(v, w0, a20);
		a21 = _mm256_fmadd_ps(v, w1, a21);
		v = _mm256_broadcast_ss(x + 3 * s);
		a30 = _mm256_fmadd_ps(v, w0, a30);
		a31 = _mm256_fmadd_ps(v, w1, a31);
		v = _mm256_broadcast_ss(x + 4 * s);
		a40 = _mm256_fmadd_ps(v, w0, a40);
		a41 = _mm256_fmadd_ps(v, w1, a41);
		v = _mm256_broadcast_ss(x + 5 * s);
		a50 = _mm256_fmadd_ps(v, w0, a50);
		a51 = _mm256_fmadd_ps(v, w1, a51);
	}
	const size_t o = size_t(co);
	store(out, a00, relu);
	store(out + 8, a01, relu);
	store(out + o, a10, relu);
	store(out + o + 8, a11, relu);
	store(out + 2 * o, a20, relu);
	store(out + 2 * o + 8, a21, relu);
	store(out + 3 * o, a30, relu);
	store(out + 3 * o + 8, a31, relu);
	store(out + 4 * o, a40, relu);
	store(out + 4 * o + 8, a41, relu);
	store(out + 5 * o, a50, relu);
	store(out + 5 * o + 8, a51, relu);
}

constexpr int kTilePixels = 6;

// One block of 8 V output channels over all n pixels.
template <int V>
OSTRELO_AVX2_FN void pointwiseChannels(const float *in, int n, int ci, int co, const float *w, const float *bias,
				       bool relu, float *out)
{
	int i = 0;
	for (; i + kTilePixels <= n; i += kTilePixels) {
		if constexpr (V == 2)
			pointwiseTile6x16(in + size_t(i) * size_t(ci), ci, co, w, bias, relu,
					  out + size_t(i) * size_t(co));
		else
			pointwiseTile<kTilePixels, V>(in + size_t(i) * size_t(ci), ci, co, w, bias, relu,
						      out + size_t(i) * size_t(co));
	}
	const float *rest = in + size_t(i) * size_t(ci);
	float *restOut = out + size_t(i) * size_t(co);
	switch (n - i) {
	case 5:
		pointwiseTile<5, V>(rest, ci, co, w, bias, relu, restOut);
		break;
	case 4:
		pointwiseTile<4, V>(rest, ci, co, w, bias, relu, restOut);
		break;
	case 3:
		pointwiseTile<3, V>(rest, ci, co, w, bias, relu, restOut);
		break;
	case 2:
		pointwiseTile<2, V>(rest, ci, co, w, bias, relu, restOut);
		break;
	case 1:
		pointwiseTile<1, V>(rest, ci, co, w, bias, relu, restOut);
		break;
	default:
		break;
	}
}

// The image with KH / 2 rows and KW / 2 columns of zeros around it, so that no tap needs a
// bounds check.
template <int KH, int KW>
OSTRELO_AVX2_FN void depthwiseTaps(const float *padded, int h, int w, int c, const float *weights, float *out)
{
	const size_t rowPixels = size_t(w + KW - 1);
	for (int c0 = 0; c0 < c; c0 += 8) {
		__m256 wk[KH * KW];
		for (int k = 0; k < KH * KW; ++k)
			wk[k] = _mm256_loadu_ps(weights + size_t(k) * size_t(c) + size_t(c0));
		for (int y = 0; y < h; ++y)
			for (int x = 0; x < w; ++x) {
				__m256 acc = _mm256_setzero_ps();
				for (int ky = 0; ky < KH; ++ky)
					for (int kx = 0; kx < KW; ++kx) {
						const float *px =
							padded +
							((size_t(y + ky) * rowPixels + size_t(x + kx)) * size_t(c) +
							 size_t(c0));
						acc = _mm256_fmadd_ps(_mm256_loadu_ps(px), wk[ky * KW + kx], acc);
					}
				_mm256_storeu_ps(out + (size_t(y) * size_t(w) + size_t(x)) * size_t(c) + size_t(c0),
						 acc);
			}
	}
}

OSTRELO_AVX2_FN void depthwiseAnyTaps(const float *padded, int h, int w, int c, int kh, int kw, const float *weights,
				      float *out)
{
	const size_t rowPixels = size_t(w + kw - 1);
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x)
			for (int c0 = 0; c0 < c; c0 += 8) {
				__m256 acc = _mm256_setzero_ps();
				for (int ky = 0; ky < kh; ++ky)
					for (int kx = 0; kx < kw; ++kx) {
						const float *px =
							padded +
							((size_t(y + ky) * rowPixels + size_t(x + kx)) * size_t(c) +
							 size_t(c0));
						const float *wk =
							weights + size_t(ky * kw + kx) * size_t(c) + size_t(c0);
						acc = _mm256_fmadd_ps(_mm256_loadu_ps(px), _mm256_loadu_ps(wk), acc);
					}
				_mm256_storeu_ps(out + (size_t(y) * size_t(w) + size_t(x)) * size_t(c) + size_t(c0),
						 acc);
			}
}

} // namespace

bool avx2Available()
{
	static const bool available = cpuRunsAvx2();
	return available;
}

OSTRELO_AVX2_FN void pointwiseAvx2(const float *in, int n, int ci, int co, const float *w, const float *bias, bool relu,
				   float *out)
{
	const int whole = co / 8 * 8;
	int c0 = 0;
	for (; c0 + 16 <= whole; c0 += 16)
		pointwiseChannels<2>(in, n, ci, co, w + c0, bias + c0, relu, out + c0);
	if (c0 < whole) {
		pointwiseChannels<1>(in, n, ci, co, w + c0, bias + c0, relu, out + c0);
		c0 += 8;
	}
	if (c0 < co) {
		// The last few channels (the 11 scores leave 3) through a copy of their weights padded
		// with zeros to one vector.
		const size_t rest = size_t(co - c0);
		thread_local std::vector<float> weights, biases, outputs;
		weights.assign(size_t(ci) * 8, 0.f);
		biases.assign(8, 0.f);
		outputs.resize(size_t(n) * 8);
		for (size_t k = 0; k < size_t(ci); ++k)
			for (size_t c = 0; c < rest; ++c)
				weights[k * 8 + c] = w[k * size_t(co) + size_t(c0) + c];
		for (size_t c = 0; c < rest; ++c)
			biases[c] = bias[size_t(c0) + c];
		pointwiseChannels<1>(in, n, ci, 8, weights.data(), biases.data(), relu, outputs.data());
		for (size_t i = 0; i < size_t(n); ++i)
			for (size_t c = 0; c < rest; ++c)
				out[i * size_t(co) + size_t(c0) + c] = outputs[i * 8 + c];
	}
	_mm256_zeroupper();
}

OSTRELO_AVX2_FN void depthwiseAvx2(const float *in, int h, int w, int c, int kh, int kw, const float *weights,
				   float *out)
{
	// A copy with kh / 2 rows and kw / 2 columns of zeros around it; only the border is cleared,
	// the copy overwrites the rest.
	const size_t ph = size_t(h + kh - 1), pw = size_t(w + kw - 1), top = size_t(kh / 2), left = size_t(kw / 2);
	const size_t row = size_t(w) * size_t(c);
	thread_local std::vector<float> padded;
	padded.resize(ph * pw * size_t(c));
	float *p = padded.data();
	for (size_t y = 0; y < ph; ++y) {
		float *dst = p + y * pw * size_t(c);
		if (y < top || y >= top + size_t(h)) {
			for (size_t i = 0; i < pw * size_t(c); ++i)
				dst[i] = 0.f;
			continue;
		}
		for (size_t i = 0; i < left * size_t(c); ++i)
			dst[i] = 0.f;
		const float *src = in + (y - top) * row;
		for (size_t i = 0; i < row; ++i)
			dst[left * size_t(c) + i] = src[i];
		for (size_t i = left * size_t(c) + row; i < pw * size_t(c); ++i)
			dst[i] = 0.f;
	}
	if (kh == 3 && kw == 3)
		depthwiseTaps<3, 3>(p, h, w, c, weights, out);
	else if (kh == 1 && kw == 5)
		depthwiseTaps<1, 5>(p, h, w, c, weights, out);
	else
		depthwiseAnyTaps(p, h, w, c, kh, kw, weights, out);
	_mm256_zeroupper();
}

} // namespace ostrelo::learned

#else

namespace ostrelo::learned {

bool avx2Available()
{
	return false;
}

} // namespace ostrelo::learned

#endif
