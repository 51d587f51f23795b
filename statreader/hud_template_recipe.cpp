#include "statreader/hud_template_recipe.h"

#include <algorithm>
#include <cmath>

namespace ostrelo {

namespace {

// The share of source cells [s * outSize, (s + 1) * outSize) that each output cell
// [o * inSize, (o + 1) * inSize) covers, in units of 1 / outSize of a source pixel. Each
// output cell's weights add up to inSize.
struct Span {
	int32_t first;                // first source pixel
	std::vector<int64_t> weights; // one per source pixel from first on
};

std::vector<Span> areaSpans(int32_t inSize, int32_t outSize)
{
	std::vector<Span> spans(static_cast<size_t>(outSize));
	for (int32_t o = 0; o < outSize; ++o) {
		const int64_t lo = int64_t(o) * inSize;
		const int64_t hi = lo + inSize;
		Span &span = spans[size_t(o)];
		span.first = int32_t(lo / outSize);
		for (int64_t s = span.first; s * outSize < hi; ++s) {
			const int64_t cellLo = std::max(lo, s * outSize);
			const int64_t cellHi = std::min(hi, (s + 1) * outSize);
			span.weights.push_back(cellHi - cellLo);
		}
	}
	return spans;
}

} // namespace

TemplateBox defaultTemplateBox(const HudTemplateDef &def)
{
	return TemplateBox{int32_t(std::lroundf(def.x * float(kTemplateScreenWidth))),
			   int32_t(std::lroundf(def.y * float(kTemplateScreenHeight))), def.width1080, def.height1080};
}

std::vector<uint8_t> cutTemplate(const uint8_t *rgba, int32_t width, int32_t height, uint32_t lineSize,
				 const TemplateBox &box, int32_t outWidth, int32_t outHeight)
{
	if (!rgba || width <= 0 || height <= 0 || uint64_t(lineSize) < uint64_t(width) * 4)
		return {};
	if (outWidth <= 0 || outHeight <= 0 || box.w <= 0 || box.h <= 0 || box.x < 0 || box.y < 0)
		return {};
	if (int64_t(box.x) + box.w > width || int64_t(box.y) + box.h > height)
		return {};

	std::vector<int32_t> grey(size_t(box.w) * size_t(box.h));
	for (int32_t r = 0; r < box.h; ++r) {
		const uint8_t *p = rgba + size_t(box.y + r) * lineSize + size_t(box.x) * 4;
		for (int32_t c = 0; c < box.w; ++c, p += 4)
			grey[size_t(r) * size_t(box.w) + size_t(c)] = (77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8;
	}

	const std::vector<Span> cols = areaSpans(box.w, outWidth);
	const std::vector<Span> rows = areaSpans(box.h, outHeight);
	const int64_t area = int64_t(box.w) * box.h;
	std::vector<uint8_t> out(size_t(outWidth) * size_t(outHeight));
	for (int32_t i = 0; i < outHeight; ++i) {
		const Span &rs = rows[size_t(i)];
		for (int32_t j = 0; j < outWidth; ++j) {
			const Span &cs = cols[size_t(j)];
			int64_t sum = 0;
			for (size_t dy = 0; dy < rs.weights.size(); ++dy) {
				const int32_t *g = grey.data() + size_t(rs.first + int32_t(dy)) * size_t(box.w);
				int64_t rowSum = 0;
				for (size_t dx = 0; dx < cs.weights.size(); ++dx)
					rowSum += cs.weights[dx] * g[size_t(cs.first) + dx];
				sum += rowSum * rs.weights[dy];
			}
			out[size_t(i) * size_t(outWidth) + size_t(j)] = uint8_t((sum + area / 2) / area);
		}
	}
	return out;
}

} // namespace ostrelo
