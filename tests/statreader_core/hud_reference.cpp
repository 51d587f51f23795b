#include "hud_reference.h"

#include "statreader/hud_templates.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace ostrelo::test {

namespace {

using hud::FrameView;
using hud::PixelBox;

int32_t lumaAt(const FrameView &f, int32_t x, int32_t y)
{
	const uint8_t *p = f.row(y) + size_t(x) * 4;
	return (77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8;
}

bool detailOf(const FrameView &f)
{
	const PixelBox b = hud::toPixelBox(hud::kTopLeftDetailBox, f.width, f.height);
	const int64_t n = int64_t(b.width()) * b.height();
	if (n < 2)
		return false;
	int64_t sum = 0, squares = 0;
	for (int32_t y = b.y0; y < b.y1; ++y)
		for (int32_t x = b.x0; x < b.x1; ++x) {
			const int64_t l = lumaAt(f, x, y);
			sum += l;
			squares += l * l;
		}
	const double mean = double(sum) / double(n);
	return double(squares) / double(n) - mean * mean > 900.0;
}

bool stripOf(const FrameView &f)
{
	const PixelBox b = hud::toPixelBox(hud::kCounterStripBox, f.width, f.height);
	int64_t bright = 0;
	int32_t groups = 0;
	bool inGroup = false;
	for (int32_t x = b.x0; x < b.x1; ++x) {
		int32_t column = 0;
		for (int32_t y = b.y0; y < b.y1; ++y)
			column += lumaAt(f, x, y) >= 140 ? 1 : 0;
		bright += column;
		if (column >= 2 && !inGroup)
			++groups;
		inGroup = column >= 2;
	}
	const int64_t area = std::max<int64_t>(1, int64_t(b.width()) * b.height());
	return groups >= 2 && groups <= 4 && bright > area / 50 && bright < area / 2;
}

int32_t warmthOf(const FrameView &f)
{
	const PixelBox b = hud::toPixelBox(hud::kPlatesBarBox, f.width, f.height);
	int64_t runSum = 0, bestSum = 0;
	int32_t runLength = 0, bestLength = 0;
	for (int32_t y = b.y0; y < b.y1; ++y) {
		int32_t warm = 0;
		for (int32_t x = b.x0; x < b.x1; ++x) {
			const uint8_t *p = f.row(y) + size_t(x) * 4;
			const int32_t r = p[0], g = p[1], bl = p[2];
			warm += (r > 160 && g >= 31 && g <= 139 && bl < 80 && r > g + 40) ? 1 : 0;
		}
		if (warm < 6) {
			runSum = 0;
			runLength = 0;
			continue;
		}
		runSum += warm;
		++runLength;
		if (runSum > bestSum) {
			bestSum = runSum;
			bestLength = runLength;
		}
	}
	return (bestLength == 0 || bestLength > 16) ? 0 : int32_t(bestSum);
}

int32_t brightOf(const FrameView &f)
{
	const PixelBox b = hud::toPixelBox(hud::kCentreBox, f.width, f.height);
	int32_t count = 0;
	for (int32_t y = b.y0; y < b.y1; ++y)
		for (int32_t x = b.x0; x < b.x1; ++x)
			count += lumaAt(f, x, y) >= 200 ? 1 : 0;
	return count;
}

GrayImage reducedImage(const FrameView &f, int32_t d)
{
	GrayImage img(f.width / d, f.height / d);
	for (int32_t y = 0; y < img.height; ++y)
		for (int32_t x = 0; x < img.width; ++x) {
			int64_t sum = 0;
			for (int32_t j = 0; j < d; ++j)
				for (int32_t i = 0; i < d; ++i)
					sum += lumaAt(f, x * d + i, y * d + j);
			img.at(x, y) = uint8_t(sum / (int64_t(d) * d));
		}
	return img;
}

float correlation(const GrayImage &img, const hud::ScaledTemplate &t, int64_t x, int64_t y)
{
	if (x < 0 || y < 0 || x + t.width > img.width || y + t.height > img.height)
		return -1.f;
	int64_t sumV = 0, squaresV = 0, cross = 0;
	for (int32_t i = 0; i < t.height; ++i)
		for (int32_t j = 0; j < t.width; ++j) {
			const int64_t v = img.at(int32_t(x) + j, int32_t(y) + i);
			sumV += v;
			squaresV += v * v;
			cross += v * t.pixels[size_t(i) * size_t(t.width) + size_t(j)];
		}
	const double n = double(t.width) * double(t.height);
	const double varV = double(squaresV) - double(sumV) * double(sumV) / n;
	if (varV <= 0.001 || t.energy <= 0.001f)
		return -1.f;
	const double num = double(cross) - double(t.sum) * double(sumV) / n;
	return float(num / std::sqrt(double(t.energy) * varV));
}

float score(const GrayImage &img, const hud::ScaledTemplate &t, const HudTemplateDef &def)
{
	const int64_t cx = std::lroundf(float(img.width) * def.x);
	const int64_t cy = std::lroundf(float(img.height) * def.y);
	const int64_t r = std::max<int64_t>(std::lroundf(float(img.width) * def.radius), 4);
	float best = -1.f;
	int64_t bx = cx, by = cy;
	for (int64_t y = cy - r / 2; y <= cy + r / 2; y += 2)
		for (int64_t x = cx - r; x <= cx + r; x += 2) {
			const float s = correlation(img, t, x, y);
			if (s > best) {
				best = s;
				bx = x;
				by = y;
			}
		}
	float result = -1.f;
	for (int64_t y = by - 1; y <= by + 1; ++y)
		for (int64_t x = bx - 1; x <= bx + 1; ++x)
			result = std::max(result, correlation(img, t, x, y));
	return result;
}

} // namespace

ReferenceEvidence referenceEvidence(const hud::FrameView &frame)
{
	ReferenceEvidence e;
	e.detail = detailOf(frame);
	e.strip = stripOf(frame);
	e.warmth = warmthOf(frame);
	e.bright = brightOf(frame);
	e.standsOut = hud::cardStandsOut(frame, e.bright);
	const int32_t d = hud::classifierFactor(frame.height);
	const GrayImage img = reducedImage(frame, d);
	for (int id = 0; id < kHudTemplateCount; ++id) {
		const HudTemplateDef &def = kHudTemplateDefs[size_t(id)];
		if (def.onlyWithoutHud && e.hudPresent()) {
			e.scores[size_t(id)] = -1.f;
			continue;
		}
		const hud::ScaledTemplate t =
			hud::scaleTemplate(def, kHudTemplatePixels[size_t(id)].pixels, frame.height, d);
		e.scores[size_t(id)] = score(img, t, def);
	}
	return e;
}

} // namespace ostrelo::test
