#include "digits/learned_model.h"

#include "digits/learned_kernels.h"

#include <algorithm>

namespace ostrelo::learned {

namespace {

// Hands out the weight table's tensors in the order export.py wrote them.
class WeightCursor {
public:
	explicit WeightCursor(const float *p) : p_(p) {}
	const float *take(size_t n)
	{
		const float *r = p_;
		p_ += n;
		return r;
	}

private:
	const float *p_;
};

// The portable layers keep a pixel's channels together and loop over output channels
// innermost, with the channel counts known at compile time: those loops are what the compiler
// vectorises, without intrinsics, for whatever CPU the build targets.

template <int CO>
void storeRelu(const float (&acc)[CO], float *out)
{
	for (int c = 0; c < CO; ++c)
		out[c] = acc[c] > 0.f ? acc[c] : 0.f;
}

// The 27 inputs of each output pixel of a 3 x 3 convolution with stride 2 and zero padding 1
// over 3 channels, [ky][kx][c] per pixel: the first convolution then runs as a 1 x 1 one.
void gatherStride2(const float *in, int h, int w, float *out)
{
	const int oh = h / 2, ow = w / 2;
	for (int oy = 0; oy < oh; ++oy)
		for (int ox = 0; ox < ow; ++ox) {
			float *o = out + (size_t(oy) * size_t(ow) + size_t(ox)) * 27;
			for (int ky = 0; ky < 3; ++ky) {
				const int iy = 2 * oy + ky - 1;
				for (int kx = 0; kx < 3; ++kx, o += 3) {
					const int ix = 2 * ox + kx - 1;
					if (iy < 0 || iy >= h || ix < 0 || ix >= w) {
						o[0] = o[1] = o[2] = 0.f;
					} else {
						const float *px = in + (size_t(iy) * size_t(w) + size_t(ix)) * 3;
						o[0] = px[0];
						o[1] = px[1];
						o[2] = px[2];
					}
				}
			}
		}
}

// Depthwise kh x kw convolution with zero padding (kh / 2, kw / 2), no bias.
template <int C, int KH, int KW>
void depthwise(const float *in, int h, int w, const float *weights, float *out)
{
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			float acc[C] = {};
			for (int ky = 0; ky < KH; ++ky) {
				const int iy = y + ky - KH / 2;
				if (iy < 0 || iy >= h)
					continue;
				for (int kx = 0; kx < KW; ++kx) {
					const int ix = x + kx - KW / 2;
					if (ix < 0 || ix >= w)
						continue;
					const float *px = in + (size_t(iy) * size_t(w) + size_t(ix)) * C;
					const float *wk = weights + size_t(ky * KW + kx) * C;
					for (int c = 0; c < C; ++c)
						acc[c] += px[c] * wk[c];
				}
			}
			float *o = out + (size_t(y) * size_t(w) + size_t(x)) * C;
			for (int c = 0; c < C; ++c)
				o[c] = acc[c];
		}
}

// 1 x 1 convolution over n pixels with bias, optionally ReLU.
template <int CI, int CO, bool Relu>
void pointwise(const float *in, int n, const float *weights, const float *bias, float *out)
{
	for (int i = 0; i < n; ++i) {
		float acc[CO];
		for (int c = 0; c < CO; ++c)
			acc[c] = bias[c];
		const float *px = in + size_t(i) * CI;
		for (int ci = 0; ci < CI; ++ci) {
			const float v = px[ci];
			const float *wr = weights + size_t(ci) * CO;
			for (int c = 0; c < CO; ++c)
				acc[c] += v * wr[c];
		}
		float *o = out + size_t(i) * CO;
		if constexpr (Relu)
			storeRelu(acc, o);
		else
			for (int c = 0; c < CO; ++c)
				o[c] = acc[c];
	}
}

// Max over pairs of rows: H x W -> H/2 x W.
template <int C>
void poolRows(const float *in, int h, int w, float *out)
{
	const size_t row = size_t(w) * C;
	for (int y = 0; y < h / 2; ++y) {
		const float *a = in + size_t(2 * y) * row;
		const float *b = a + row;
		float *o = out + size_t(y) * row;
		for (size_t i = 0; i < row; ++i)
			o[i] = std::max(a[i], b[i]);
	}
}

// The layers as the compiler vectorises them for any CPU.
struct PortableLayers {
	template <int CI, int CO, bool Relu>
	static void pointwise(const float *in, int n, const float *weights, const float *bias, float *out)
	{
		ostrelo::learned::pointwise<CI, CO, Relu>(in, n, weights, bias, out);
	}
	template <int C, int KH, int KW>
	static void depthwise(const float *in, int h, int w, const float *weights, float *out)
	{
		ostrelo::learned::depthwise<C, KH, KW>(in, h, w, weights, out);
	}
};

#if OSTRELO_LEARNED_AVX2
// The same with AVX2 and FMA.
struct Avx2Layers {
	template <int CI, int CO, bool Relu>
	static void pointwise(const float *in, int n, const float *weights, const float *bias, float *out)
	{
		pointwiseAvx2(in, n, CI, CO, weights, bias, Relu, out);
	}
	template <int C, int KH, int KW>
	static void depthwise(const float *in, int h, int w, const float *weights, float *out)
	{
		static_assert(C % 8 == 0);
		depthwiseAvx2(in, h, w, C, KH, KW, weights, out);
	}
};
#endif

// Depthwise-separable block: depthwise, then pointwise with the batch norm folded in, ReLU.
template <class L, int CI, int CO, int KH, int KW>
void sepConv(WeightCursor &wc, const float *in, int h, int w, std::vector<float> &tmp, float *out)
{
	const float *dw = wc.take(size_t(KH * KW * CI));
	const float *pw = wc.take(size_t(CI * CO));
	const float *b = wc.take(CO);
	tmp.resize(size_t(h) * size_t(w) * CI);
	L::template depthwise<CI, KH, KW>(in, h, w, dw, tmp.data());
	L::template pointwise<CI, CO, true>(tmp.data(), h * w, pw, b, out);
}

template <class L>
std::vector<float> network(const float *weights, const float *canvas, int width)
{
	WeightCursor wc(weights);
	const int h1 = kInputHeight / 2, t = width / 2;
	// Scratch that lives with the thread: no allocation (and no fresh pages) per crop.
	// Per column, no layer holds more than 12 rows of the widest channel count (27 for the
	// first convolution's gathered inputs).
	constexpr size_t kPerColumn = size_t(kInputHeight / 2) * size_t(std::max({27, kC1, kC2, kC3, kC4}));
	thread_local std::vector<float> a, b, tmp;
	a.resize(kPerColumn * size_t(t));
	b.resize(kPerColumn * size_t(t));

	const float *c1w = wc.take(9 * 3 * kC1);
	const float *c1b = wc.take(kC1);
	gatherStride2(canvas, kInputHeight, width, b.data());
	L::template pointwise<27, kC1, true>(b.data(), h1 * t, c1w, c1b, a.data()); // 12 x t x C1

	sepConv<L, kC1, kC2, 3, 3>(wc, a.data(), h1, t, tmp, b.data());
	poolRows<kC2>(b.data(), h1, t, a.data()); // 6 x t x C2
	sepConv<L, kC2, kC3, 3, 3>(wc, a.data(), h1 / 2, t, tmp, b.data());
	poolRows<kC3>(b.data(), h1 / 2, t, a.data());                       // 3 x t x C3
	sepConv<L, kC3, kC4, 3, 3>(wc, a.data(), h1 / 4, t, tmp, b.data()); // 3 x t x C4

	// The three remaining rows become one feature column per frame: gather each column's three
	// pixels into one vector, then a 1 x 1 convolution.
	const float *hw = wc.take(size_t(3 * kC4 * kFeat));
	const float *hb = wc.take(kFeat);
	for (int x = 0; x < t; ++x)
		for (int ky = 0; ky < 3; ++ky)
			std::copy_n(b.data() + (size_t(ky) * size_t(t) + size_t(x)) * kC4, kC4,
				    a.data() + (size_t(x) * 3 + size_t(ky)) * kC4);
	thread_local std::vector<float> feat, seq;
	feat.resize(size_t(t) * kFeat);
	L::template pointwise<3 * kC4, kFeat, true>(a.data(), t, hw, hb, feat.data());

	// Each frame sees its neighbours along the row, added to what it had.
	seq.resize(feat.size());
	sepConv<L, kFeat, kFeat, 1, kSeqKernel>(wc, feat.data(), 1, t, tmp, seq.data());
	for (size_t i = 0; i < feat.size(); ++i)
		feat[i] += seq[i];

	const float *ow = wc.take(size_t(kFeat * kClasses));
	const float *ob = wc.take(kClasses);
	std::vector<float> scores(size_t(t) * kClasses);
	L::template pointwise<kFeat, kClasses, false>(feat.data(), t, ow, ob, scores.data());
	return scores;
}

} // namespace

std::vector<float> runNetwork(const float *weights, const float *canvas, int width, Kernels kernels)
{
#if OSTRELO_LEARNED_AVX2
	if (kernels == Kernels::Avx2 && avx2Available())
		return network<Avx2Layers>(weights, canvas, width);
#else
	(void)kernels;
#endif
	return network<PortableLayers>(weights, canvas, width);
}

std::vector<float> runNetwork(const float *weights, const float *canvas, int width)
{
	return runNetwork(weights, canvas, width, avx2Available() ? Kernels::Avx2 : Kernels::Portable);
}

} // namespace ostrelo::learned
