#include "glyph_grid.h"

#include <algorithm>
#include <cmath>

namespace greyglyphs {

namespace {

// Area-weighted mean of the picture over the cell [xs, xe) x [ys, ye), 0..1.
float cellMean(const Picture &st, float xs, float xe, float ys, float ye)
{
	float sum = 0.f, total = 0.f;
	const int py0 = std::max(0, int(std::floor(ys))), py1 = std::min(st.height, int(std::ceil(ye)));
	const int px0 = std::max(0, int(std::floor(xs))), px1 = std::min(st.width, int(std::ceil(xe)));
	for (int py = py0; py < py1; ++py) {
		const float wy = std::max(0.f, std::min(ye, float(py + 1)) - std::max(ys, float(py)));
		for (int px = px0; px < px1; ++px) {
			const float wx = std::max(0.f, std::min(xe, float(px + 1)) - std::max(xs, float(px)));
			sum += float(st.at(px, py)) / 255.f * wx * wy;
			total += wx * wy;
		}
	}
	return total > 0.f ? sum / total : 0.f;
}

} // namespace

bool cropToGrid(const Picture &picture, Grid &grid)
{
	const int w = picture.width, h = picture.height;
	if (w < 3 || h < 6 || picture.pixels.size() != size_t(w) * size_t(h))
		return false;

	std::vector<uint8_t> sorted = picture.pixels;
	std::sort(sorted.begin(), sorted.end());
	const int64_t n = int64_t(sorted.size());
	const int lo = sorted[size_t(3 * n / 10)];
	const int hi = sorted[size_t(995 * n / 1000)];
	if (hi - lo < 40)
		return false;

	Picture st{w, h, std::vector<uint8_t>(picture.pixels.size())};
	for (size_t i = 0; i < st.pixels.size(); ++i)
		st.pixels[i] = uint8_t(std::clamp((int(picture.pixels[i]) - lo) * 255 / (hi - lo), 0, 255));

	int top = -1, bottom = -1;
	for (int y = 0; y < h; ++y) {
		int count = 0;
		for (int x = 0; x < w; ++x)
			count += st.at(x, y) >= 110;
		if (count >= 2) {
			top = top < 0 ? y : top;
			bottom = y;
		}
	}
	if (top < 0 || bottom - top + 1 < 6)
		return false;

	int left = -1, right = -1;
	std::vector<float> colSum(size_t(w), 0.f);
	for (int x = 0; x < w; ++x) {
		int count = 0;
		for (int y = top; y <= bottom; ++y) {
			count += st.at(x, y) >= 110;
			colSum[size_t(x)] += float(st.at(x, y));
		}
		if (count >= 1) {
			left = left < 0 ? x : left;
			right = x;
		}
	}
	if (left < 0)
		return false;
	int m = left, l = right + 1;
	while (l - m > 2 && colSum[size_t(m)] < 40.f)
		++m;
	while (l - m > 2 && colSum[size_t(l - 1)] < 40.f)
		--l;

	const float x0 = float(m), x1 = float(l), y0 = float(top), y1 = float(bottom + 1);
	for (int i = 0; i < kGridH; ++i)
		for (int k = 0; k < kGridW; ++k) {
			const float v =
				cellMean(st, x0 + float(k) * (x1 - x0) / kGridW, x0 + float(k + 1) * (x1 - x0) / kGridW,
					 y0 + float(i) * (y1 - y0) / kGridH, y0 + float(i + 1) * (y1 - y0) / kGridH);
			grid[size_t(i * kGridW + k)] = uint8_t(std::floor(v * 255.f + 0.5f));
		}
	return true;
}

} // namespace greyglyphs
