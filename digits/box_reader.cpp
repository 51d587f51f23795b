#include "digits/box_reader.h"

#include "common/debug_env.h"
#include "digits/glyph_templates.h"
#include "digits/image_prep.h"
#include "digits/score_margin.h"
#include "digits/shape_measure.h"
#include "digits/shape_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace ostrelo {
namespace {

constexpr size_t kMaxGlyphs = 7;
constexpr int64_t kMaxValue = 999999;

DigitCandidate scoreGlyph(const GrayImage &bilevel, const GlyphBox &box)
{
	const GrayImage g = normalizeGlyph(bilevel, box);
	std::array<float, 10> scores = digitScores(g);
	int32_t best = -1;
	float bestScore = 0.f;
	for (int32_t d = 0; d < 10; ++d) {
		if (scores[size_t(d)] > bestScore) {
			best = d;
			bestScore = scores[size_t(d)];
		}
	}
	refineScores(g, best, scores, measureShape(g));

	DigitCandidate c;
	c.digit = best;
	c.score = best >= 0 ? scores[size_t(best)] : bestScore;
	for (int32_t d = 0; d < 10; ++d)
		if (d != best)
			c.second = std::max(c.second, scores[size_t(d)]);
	c.slash = isSlash(bilevel, box, best, c.score);
	return c;
}

} // namespace

int32_t inkCenterX(const GrayImage &bilevel, const GlyphBox &box, int32_t r0, int32_t r1)
{
	int64_t sum = 0;
	int64_t count = 0;
	if (bilevel.wellFormed()) {
		const int32_t xs = std::max(0, box.x0), xe = std::min(box.x1, bilevel.width);
		for (int32_t y = std::max(0, r0); y < std::min(r1, bilevel.height); ++y) {
			const uint8_t *row = bilevel.row(y);
			for (int32_t x = xs; x < xe; ++x) {
				if (isInk(row[x])) {
					sum += x;
					++count;
				}
			}
		}
	}
	if (count == 0)
		return int32_t((int64_t(box.x0) + box.x1) / 2);
	return int32_t(sum / count);
}

bool isSlash(const GrayImage &bilevel, const GlyphBox &box, int32_t digit, float score)
{
	const int32_t bw = box.bw();
	const int32_t bh = box.bh();
	if (bw < 1 || bh < 4)
		return false;
	const int32_t o = std::max(1, bh / 3); // y0 + o and y1 - o stay between y0 and y1
	const int64_t top = inkCenterX(bilevel, box, box.y0, box.y0 + o);
	const int64_t bottom = inkCenterX(bilevel, box, box.y1 - o, box.y1);
	const bool leans = std::llabs(top - bottom) >= std::max(2, bw / 3);
	// Italic or serifed ones lean too; a confident 1 is kept.
	return leans && !(digit == 1 && score >= 0.75f);
}

StatReading readCandidates(const std::vector<DigitCandidate> &candidates)
{
	const bool debug = digitDebugEnabled();
	// "12/50": what follows a slash is a limit, not part of the number.
	size_t end = candidates.size();
	for (size_t i = 1; i < candidates.size(); ++i) {
		if (candidates[i].slash) {
			end = i;
			break;
		}
	}
	if (end == 0)
		return StatReading();

	std::string text;
	float minScore = 1.f;
	for (size_t i = 0; i < end; ++i) {
		const DigitCandidate &c = candidates[i];
		if (debug)
			std::fprintf(stderr, "    digit=%d score=%.3f second=%.3f slash=%d\n", c.digit, double(c.score),
				     double(c.second), c.slash ? 1 : 0);
		const bool clear =
			leadsBy(c.score, c.second, 0.08f) || (c.score >= 0.87f && leadsBy(c.score, c.second, 0.02f));
		if (c.digit < 0 || c.digit > 9 || c.score < 0.76f || !clear)
			return StatReading();
		text.push_back(char('0' + c.digit));
		minScore = std::min(minScore, c.score);
	}

	int64_t value = 0;
	for (char ch : text) {
		value = value * 10 + (ch - '0');
		if (value > kMaxValue)
			return StatReading();
	}
	StatReading r;
	r.ok = true;
	r.value = int32_t(value);
	r.digits = int32_t(text.size());
	r.confidence = minScore;
	r.text = std::move(text);
	return r;
}

StatReading readBoxes(const GrayImage &bilevel)
{
	const bool debug = digitDebugEnabled();
	const GlyphBoxes boxes = segmentGlyphs(bilevel);
	const bool consistent = isConsistentRow(boxes);
	if (debug) {
		std::fprintf(stderr, "  bin %dx%d boxes=%zu consistent=%d\n", bilevel.width, bilevel.height,
			     boxes.size(), consistent ? 1 : 0);
		for (const GlyphBox &b : boxes)
			std::fprintf(stderr, "    box %d,%d-%d,%d\n", b.x0, b.y0, b.x1, b.y1);
	}
	if (boxes.empty() || boxes.size() > kMaxGlyphs || !consistent)
		return StatReading();

	std::vector<DigitCandidate> candidates;
	candidates.reserve(boxes.size());
	for (const GlyphBox &box : boxes)
		candidates.push_back(scoreGlyph(bilevel, box));
	return readCandidates(candidates);
}

namespace {

// The passes of one read that failed, by the bilevel image they read. Passes often binarise a
// crop the same way (an Otsu split where the adaptive one fell, fixed thresholds with no pixel
// between them, a crop of few grey levels) and would read the same image again to the same
// end. With the trace on every pass reads, so that the trace shows each as it always did.
class FailedPasses {
public:
	FailedPasses() : trace_(digitDebugEnabled()) {}

	bool seen(const GrayImage &bilevel) const
	{
		if (trace_)
			return false;
		for (const GrayImage &f : failed_)
			if (f.width == bilevel.width && f.height == bilevel.height && f.pixels == bilevel.pixels)
				return true;
		return false;
	}

	// readBoxes(bilevel), or no reading at once when that image already failed.
	StatReading read(GrayImage bilevel)
	{
		if (seen(bilevel))
			return StatReading();
		StatReading r = readBoxes(bilevel);
		if (!r.ok && !trace_)
			failed_.push_back(std::move(bilevel));
		return r;
	}

private:
	bool trace_;
	std::vector<GrayImage> failed_;
};

} // namespace

StatReading readDigits(const GrayImage &gray)
{
	if (gray.width < 4 || gray.height < 6 || !gray.wellFormed())
		return StatReading();
	const GrayImage up = upscaleForReading(gray);
	const PixelStats stats(up);
	FailedPasses passes;

	StatReading r = passes.read(binarizeAdaptive(up, stats));
	if (r.ok)
		return r;
	r = passes.read(binarizeOtsu(up, stats));
	if (r.ok)
		return r;
	// Fixed thresholds only help dim crops; with bright pixels the adaptive pass has seen it all.
	if (stats.max >= 220)
		return StatReading();
	for (int32_t t : {200, 180, 160, 140, 120}) {
		r = passes.read(thresholdImage(up, t));
		if (r.ok)
			return r;
	}
	return StatReading();
}

StatReading readOpenFour(const GrayImage &gray)
{
	if (!gray.wellFormed())
		return StatReading();
	const PixelStats stats(gray);
	const GrayImage adaptive = binarizeAdaptive(gray, stats);
	if (!isOpenFour(adaptive)) {
		// The Otsu split is looked at only when it binarises differently (or the trace is on).
		const GrayImage otsu = binarizeOtsu(gray, stats);
		const bool same = !digitDebugEnabled() && otsu.width == adaptive.width &&
				  otsu.height == adaptive.height && otsu.pixels == adaptive.pixels;
		if (same || !isOpenFour(otsu))
			return StatReading();
	}
	StatReading r;
	r.ok = true;
	r.value = 4;
	r.digits = 1;
	r.confidence = 0.8f;
	r.text = "4";
	return r;
}

StatReading voteReadings(const std::vector<StatReading> &readings)
{
	const StatReading *chosen = nullptr;
	float chosenConfidence = 0.f;
	for (const StatReading &c : readings) {
		int32_t agreeing = 0;
		float m = 0.f;
		for (const StatReading &o : readings) {
			if (o.value == c.value) {
				++agreeing;
				m = std::max(m, o.confidence);
			}
		}
		if (agreeing >= 2 && (!chosen || m > chosenConfidence)) {
			chosen = &c;
			chosenConfidence = m;
		}
	}
	if (!chosen)
		return StatReading();
	StatReading result = *chosen;
	result.confidence = chosenConfidence;
	return result;
}

StatReading readDigitsMultiScale(const GrayImage &gray)
{
	if (gray.width < 1 || gray.height < 1 || !gray.wellFormed())
		return StatReading();
	const GrayImage s = stretchContrast(gray);
	StatReading r = readDigits(s);
	if (gray.height <= 56 || r.ok)
		return r;

	// 28 is listed twice on purpose: a reading at 28 outvotes a single reading elsewhere. It is
	// read once and counted twice (with the trace on, read twice, so the trace shows both).
	std::vector<StatReading> candidates;
	StatReading at28;
	for (int32_t h : {20, 24, 28, 32, 40}) {
		if (std::abs(gray.height - h) < 4)
			continue;
		StatReading c = readDigits(resizeToHeight(s, h));
		if (h == 28)
			at28 = c;
		if (c.ok)
			candidates.push_back(std::move(c));
	}
	if (std::abs(gray.height - 28) >= 4) {
		if (digitDebugEnabled())
			at28 = readDigits(resizeToHeight(s, 28));
		if (at28.ok)
			candidates.push_back(std::move(at28));
	}
	StatReading voted = voteReadings(candidates);
	if (!voted.ok)
		return readOpenFour(s);
	return voted;
}

} // namespace ostrelo
