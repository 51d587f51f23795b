#include "digits/learned_reader.h"

#include "digits/learned_model.h"
#include "digits/learned_weights.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ostrelo {

namespace learned {

namespace {

// For each output pixel of a side of n source pixels scaled to out: the first source pixel it
// averages and the weights of the pixels from there (area averaging, as prep.py does).
struct AreaTaps {
	std::vector<int32_t> first;
	std::vector<int32_t> count;
	std::vector<float> weights; // out x maxTaps
	int32_t maxTaps = 0;
};

void areaTaps(int32_t n, int32_t out, AreaTaps &t)
{
	const double scale = double(n) / double(out);
	t.maxTaps = int32_t(std::ceil(scale)) + 1;
	t.first.resize(size_t(out));
	t.count.resize(size_t(out));
	t.weights.assign(size_t(out) * size_t(t.maxTaps), 0.f);
	for (int32_t i = 0; i < out; ++i) {
		const double a = double(i) * scale, b = double(i + 1) * scale;
		const int32_t k0 = int32_t(std::floor(a));
		const int32_t k1 = std::min(n, int32_t(std::ceil(b)));
		t.first[size_t(i)] = k0;
		t.count[size_t(i)] = std::min(k1 - k0, t.maxTaps);
		for (int32_t k = k0; k < k0 + t.count[size_t(i)]; ++k)
			t.weights[size_t(i) * size_t(t.maxTaps) + size_t(k - k0)] =
				float((std::min(b, double(k + 1)) - std::max(a, double(k))) / scale);
	}
}

// Width and height of the scaled crop: kInputHeight rows, unless that is wider than kMaxWidth.
void scaledSize(int32_t w, int32_t h, int32_t &sw, int32_t &sh)
{
	if (int64_t(w) * kInputHeight <= int64_t(kMaxWidth) * h) {
		sh = kInputHeight;
		sw = int32_t(std::max<int64_t>(1, (int64_t(w) * kInputHeight + h / 2) / h));
	} else {
		sw = kMaxWidth;
		sh = int32_t(std::max<int64_t>(1, (int64_t(h) * kMaxWidth + w / 2) / w));
	}
}

// The canvas for a crop into `canvas` (resized); width 0 and an empty canvas for an empty crop.
// The scratch lives with the thread: the graphics thread prepares crops without allocating.
void prepareInto(const RgbaCrop &crop, int &width, std::vector<float> &canvas)
{
	width = 0;
	canvas.clear();
	if (!crop.data || crop.width < 1 || crop.height < 1)
		return;
	const int32_t w = crop.width, h = crop.height;
	int32_t sw = 0, sh = 0;
	scaledSize(w, h, sw, sh);
	thread_local AreaTaps tx, ty;
	areaTaps(w, sw, tx);
	areaTaps(h, sh, ty);

	// Columns first, for every source row; then rows. A stride of 0 or less means packed rows,
	// as toGray takes it.
	const int64_t stride = crop.stride > 0 ? crop.stride : int64_t(w) * 4;
	const size_t rowValues = size_t(sw) * 3;
	thread_local std::vector<float> cols, scaled;
	cols.resize(size_t(h) * rowValues);
	for (int32_t y = 0; y < h; ++y) {
		const uint8_t *row = crop.data + int64_t(y) * stride;
		float *o = cols.data() + size_t(y) * rowValues;
		for (int32_t j = 0; j < sw; ++j) {
			float r = 0.f, g = 0.f, b = 0.f;
			const float *wt = tx.weights.data() + size_t(j) * size_t(tx.maxTaps);
			const uint8_t *p = row + size_t(tx.first[size_t(j)]) * 4;
			for (int32_t k = 0; k < tx.count[size_t(j)]; ++k, p += 4) {
				r += wt[k] * float(p[0]);
				g += wt[k] * float(p[1]);
				b += wt[k] * float(p[2]);
			}
			o[3 * j] = r;
			o[3 * j + 1] = g;
			o[3 * j + 2] = b;
		}
	}
	scaled.assign(size_t(sh) * rowValues, 0.f);
	for (int32_t i = 0; i < sh; ++i) {
		float *o = scaled.data() + size_t(i) * rowValues;
		const float *wt = ty.weights.data() + size_t(i) * size_t(ty.maxTaps);
		for (int32_t k = 0; k < ty.count[size_t(i)]; ++k) {
			const float *src = cols.data() + size_t(ty.first[size_t(i)] + k) * rowValues;
			const float wk = wt[k];
			for (size_t c = 0; c < rowValues; ++c)
				o[c] += wk * src[c];
		}
	}

	// Four partial sums each: the additions do not wait for one another.
	double sum[4] = {}, squares[4] = {};
	const size_t n = scaled.size();
	size_t i = 0;
	for (; i + 4 <= n; i += 4)
		for (size_t k = 0; k < 4; ++k) {
			const double v = double(scaled[i + k]);
			sum[k] += v;
			squares[k] += v * v;
		}
	for (; i < n; ++i) {
		const double v = double(scaled[i]);
		sum[0] += v;
		squares[0] += v * v;
	}
	const double mean = (sum[0] + sum[1] + sum[2] + sum[3]) / double(n) / 255.0;
	const double var = std::max(
		0.0, (squares[0] + squares[1] + squares[2] + squares[3]) / double(n) / (255.0 * 255.0) - mean * mean);
	const double sd = std::max(std::sqrt(var), double(kMinStd));
	const float gain = float(1.0 / (255.0 * sd)), offset = float(mean / sd);

	width = std::max(kMinWidth, (sw + kWidthStep - 1) / kWidthStep * kWidthStep);
	canvas.assign(size_t(kInputHeight) * size_t(width) * 3, 0.f);
	const int32_t top = (kInputHeight - sh) / 2;
	for (int32_t y = 0; y < sh; ++y) {
		const float *src = scaled.data() + size_t(y) * rowValues;
		float *dst = canvas.data() + size_t(top + y) * size_t(width) * 3;
		for (size_t x = 0; x < rowValues; ++x)
			dst[x] = src[x] * gain - offset;
	}
}

} // namespace

std::vector<float> prepareCanvas(const RgbaCrop &crop, int &width)
{
	std::vector<float> canvas;
	prepareInto(crop, width, canvas);
	return canvas;
}

std::vector<float> cropScores(const RgbaCrop &crop, const float *weights)
{
	int width = 0;
	thread_local std::vector<float> canvas;
	prepareInto(crop, width, canvas);
	if (canvas.empty())
		return {};
	return runNetwork(weights, canvas.data(), width);
}

} // namespace learned

namespace {

using learned::kClasses;

// The probability of a digit sequence under the frames' class probabilities (frames x
// kClasses), summed over every alignment: the CTC forward pass. The forward variables are
// rescaled to sum 1 after every frame and the scales multiplied back at the end, so nothing
// underflows however wide the crop, and no state needs a logarithm.
double sequenceProbability(const std::vector<double> &prob, int frames, const std::vector<int> &labels)
{
	constexpr int kMaxStates = 2 * kLearnedMaxDigits + 1;
	const int states = 2 * int(labels.size()) + 1;
	if (states > kMaxStates)
		return 0.0;
	auto label = [&](int s) { return s % 2 == 0 ? 0 : labels[size_t(s / 2)]; };
	std::array<double, kMaxStates> alpha{}, next{};
	alpha[0] = prob[0];
	alpha[1] = prob[size_t(label(1))];
	double scale = 1.0, logScale = 0.0;
	for (int t = 0;; ++t) {
		double total = 0.0;
		for (int s = 0; s < states; ++s)
			total += alpha[size_t(s)];
		if (!(total > 0.0))
			return 0.0;
		for (int s = 0; s < states; ++s)
			alpha[size_t(s)] /= total;
		scale *= total;
		if (scale < 1e-200) {
			logScale += std::log(scale);
			scale = 1.0;
		}
		if (t + 1 == frames)
			break;
		const double *p = prob.data() + size_t(t + 1) * kClasses;
		for (int s = 0; s < states; ++s) {
			double a = alpha[size_t(s)];
			if (s >= 1)
				a += alpha[size_t(s - 1)];
			if (s >= 2 && label(s) != 0 && label(s) != label(s - 2))
				a += alpha[size_t(s - 2)];
			next[size_t(s)] = a * p[label(s)];
		}
		alpha = next;
	}
	return (alpha[size_t(states - 1)] + alpha[size_t(states - 2)]) * scale * std::exp(logScale);
}

} // namespace

LearnedReading learned::decodeScores(const std::vector<float> &scores)
{
	LearnedReading out;
	const int frames = int(scores.size() / kClasses);
	if (frames < 1)
		return out;
	thread_local std::vector<double> prob;
	prob.resize(scores.size());
	std::vector<int> labels;
	std::vector<float> peaks;
	int previous = 0;
	double blank = 1.0;
	for (int t = 0; t < frames; ++t) {
		const float *s = scores.data() + size_t(t) * kClasses;
		double *p = prob.data() + size_t(t) * kClasses;
		int best = 0;
		for (int c = 1; c < kClasses; ++c)
			if (s[c] > s[best])
				best = c;
		double z = 0.0;
		for (int c = 0; c < kClasses; ++c)
			z += p[c] = double(std::exp(s[c] - s[best]));
		for (int c = 0; c < kClasses; ++c)
			p[c] /= z;
		blank *= p[0];
		const float peak = float(p[best]);
		if (best != 0 && best != previous) {
			labels.push_back(best);
			peaks.push_back(peak);
		} else if (best != 0) {
			peaks.back() = std::max(peaks.back(), peak);
		}
		previous = best;
	}
	out.emptyConfidence = float(blank);
	if (labels.empty() || int(labels.size()) > kLearnedMaxDigits || (labels.size() > 1 && labels[0] == 1))
		return out;
	const float confidence = float(sequenceProbability(prob, frames, labels));
	if (!(confidence >= kLearnedMinConfidence))
		return out;
	StatReading &r = out.reading;
	for (int l : labels) {
		r.text += char('0' + (l - 1));
		r.value = r.value * 10 + (l - 1);
	}
	r.ok = true;
	r.digits = int32_t(labels.size());
	r.confidence = std::min(confidence, 1.f);
	out.digitConfidence = std::move(peaks);
	return out;
}

LearnedReading readLearned(const RgbaCrop &crop, const float *weights)
{
	return learned::decodeScores(learned::cropScores(crop, weights));
}

LearnedReading readLearned(const RgbaCrop &crop)
{
	return readLearned(crop, learned::kWeights);
}

} // namespace ostrelo
