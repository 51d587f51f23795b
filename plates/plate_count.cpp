// Counting the lit cells of an upright plates bar, column by column.

#include "plates/plates_internal.h"

#include <algorithm>
#include <cmath>

namespace ostrelo::plates {

namespace {

bool isReadableBar(const RgbaCrop &bar)
{
	return isReadableCrop(bar) && bar.width >= 12 && bar.height >= 8;
}

struct SetPixel {
	int32_t x, y;
};

// The shear search only needs where the set pixels are; a bar crop holds few of them.
std::vector<SetPixel> setPixels(const Mask &mask)
{
	std::vector<SetPixel> out;
	for (int32_t y = 0; y < mask.height; ++y)
		for (int32_t x = 0; x < mask.width; ++x)
			if (mask.at(x, y))
				out.push_back({x, y});
	return out;
}

std::vector<int32_t> rowCounts(const Mask &mask)
{
	std::vector<int32_t> rows(size_t(mask.height), 0);
	for (int32_t y = 0; y < mask.height; ++y)
		for (int32_t x = 0; x < mask.width; ++x)
			rows[size_t(y)] += mask.at(x, y);
	return rows;
}

float fillOf(const Segment &seg, const std::vector<int32_t> &profile, int32_t w, int32_t bandHeight)
{
	int64_t sum = 0;
	const int64_t end = std::min<int64_t>(int64_t(seg.first) + w, int64_t(profile.size()));
	for (int64_t x = seg.first; x < end; ++x)
		sum += profile[size_t(x)];
	return float(sum) / float(int64_t(w) * bandHeight);
}

} // namespace

bool isPlateBlue(uint8_t R, uint8_t G, uint8_t B)
{
	// The integer rules first: they turn away the dark ground of the HUD without float work.
	if (int(B) < int(G) - 20 || int(G) + int(B) <= 2 * int(R) + 20)
		return false;
	const float r = float(R) / 255.f, g = float(G) / 255.f, b = float(B) / 255.f;
	const float mx = std::max({r, g, b});
	const float delta = mx - std::min({r, g, b});
	float hue = 0.f;
	if (delta > 0.f) {
		if (mx == r)
			hue = 60.f * std::fmod((g - b) / delta, 6.f);
		else if (mx == g)
			hue = 60.f * ((b - r) / delta + 2.f);
		else
			hue = 60.f * ((r - g) / delta + 4.f);
		if (hue < 0.f)
			hue += 360.f;
	}
	const float saturation = mx > 0.f ? delta / mx : 0.f;
	return hue >= 170.f && hue <= 220.f && saturation >= 0.16f && mx >= 0.32f;
}

Mask plateMask(const RgbaCrop &image)
{
	Mask mask;
	if (!isReadableCrop(image))
		return mask;
	mask.width = image.width;
	mask.height = image.height;
	mask.bits.assign(size_t(image.width) * size_t(image.height), 0);
	for (int32_t y = 0; y < image.height; ++y)
		for (int32_t x = 0; x < image.width; ++x) {
			const uint8_t *p = image.pixel(x, y);
			mask.bits[size_t(y) * size_t(image.width) + size_t(x)] = isPlateBlue(p[0], p[1], p[2]) ? 1 : 0;
		}
	return mask;
}

int32_t shearOffset(int32_t x, int32_t width, float s)
{
	// |x - width / 2| < 2^31 and |s| <= 0.1, so the rounded value always fits.
	return int32_t(std::lround((float(x) - float(width) * 0.5f) * s));
}

Mask shearMask(const Mask &mask, float s)
{
	Mask out{mask.width, mask.height, std::vector<uint8_t>(mask.bits.size(), 0)};
	for (int32_t x = 0; x < mask.width; ++x) {
		const int64_t d = shearOffset(x, mask.width, s);
		for (int32_t y = 0; y < mask.height; ++y) {
			const int64_t from = y - d;
			if (from >= 0 && from < mask.height)
				out.bits[size_t(y) * size_t(mask.width) + size_t(x)] = mask.at(x, int32_t(from));
		}
	}
	return out;
}

float findShear(const Mask &mask)
{
	const std::vector<SetPixel> set = setPixels(mask);
	std::vector<int32_t> offsets(size_t(mask.width)), rows(size_t(mask.height));
	float best = 0.f;
	int32_t bestScore = -1;
	for (int k = -10; k <= 10; ++k) {
		const float s = float(k) * 0.01f;
		for (int32_t x = 0; x < mask.width; ++x)
			offsets[size_t(x)] = shearOffset(x, mask.width, s);
		std::fill(rows.begin(), rows.end(), 0);
		int32_t score = 0;
		for (const SetPixel &p : set) {
			const int64_t y = int64_t(p.y) + offsets[size_t(p.x)];
			if (y >= 0 && y < mask.height)
				score = std::max(score, ++rows[size_t(y)]);
		}
		if (score > bestScore) {
			bestScore = score;
			best = s;
		}
	}
	return best;
}

RowBand findRowBand(const Mask &sheared)
{
	RowBand band;
	const std::vector<int32_t> rows = rowCounts(sheared);
	if (rows.empty())
		return band;
	const int32_t peak = int32_t(std::max_element(rows.begin(), rows.end()) - rows.begin());
	band.peakCount = rows[size_t(peak)];
	band.first = band.last = peak;
	const int64_t need = int64_t(band.peakCount) * 6;
	while (band.first > 0 && int64_t(rows[size_t(band.first - 1)]) * 10 >= need)
		--band.first;
	while (band.last + 1 < sheared.height && int64_t(rows[size_t(band.last + 1)]) * 10 >= need)
		++band.last;
	return band;
}

std::vector<int32_t> columnProfile(const Mask &sheared, const RowBand &band)
{
	std::vector<int32_t> profile(size_t(sheared.width), 0);
	for (int32_t y = band.first; y <= band.last; ++y)
		for (int32_t x = 0; x < sheared.width; ++x)
			profile[size_t(x)] += sheared.at(x, y);
	return profile;
}

int32_t columnThreshold(const RowBand &band)
{
	return std::max(2, band.height() / 3);
}

std::vector<Segment> findSegments(const std::vector<int32_t> &profile, int32_t threshold)
{
	std::vector<Segment> segments;
	const int32_t width = int32_t(profile.size());
	for (int32_t x = 0; x < width;) {
		if (profile[size_t(x)] < threshold) {
			++x;
			continue;
		}
		const int32_t first = x;
		while (x < width && profile[size_t(x)] >= threshold)
			++x;
		if (x - first >= 6)
			segments.push_back({first, x - 1, x - first});
	}
	return segments;
}

std::vector<Segment> splitMergedCells(const std::vector<Segment> &segments, const std::vector<int32_t> &profile)
{
	int32_t l1 = 0, l2 = 0;
	for (const Segment &seg : segments) {
		if (seg.length >= l1) {
			l2 = l1;
			l1 = seg.length;
		} else if (seg.length > l2) {
			l2 = seg.length;
		}
	}

	std::vector<Segment> split;
	for (const Segment &seg : segments) {
		const bool candidate = seg.length >= 80 || (l2 >= 20 && int64_t(seg.length) * 5 >= int64_t(l2) * 9);
		int32_t valley = -1;
		if (candidate) {
			// Largest p to the left of every column and to the right of it, within the segment.
			const size_t n = size_t(seg.length);
			std::vector<int32_t> leftMax(n), rightMax(n);
			for (size_t i = 0; i < n; ++i)
				leftMax[i] = std::max(i ? leftMax[i - 1] : 0, profile[size_t(seg.first) + i]);
			for (size_t i = n; i-- > 0;)
				rightMax[i] = std::max(i + 1 < n ? rightMax[i + 1] : 0, profile[size_t(seg.first) + i]);

			const int32_t margin = std::max(8, seg.length / 6);
			int32_t lowest = 999;
			for (int32_t j = seg.first + margin; j <= seg.last - margin; ++j) {
				const int32_t pj = profile[size_t(j)];
				if (pj > profile[size_t(j - 1)] && pj > profile[size_t(j + 1)])
					continue;
				const size_t i = size_t(j - seg.first);
				if (pj < leftMax[i - 1] && pj < rightMax[i + 1] && pj <= lowest) {
					lowest = pj;
					valley = j;
				}
			}
		}
		if (valley < 0) {
			split.push_back(seg);
			continue;
		}
		if (valley - seg.first >= 6)
			split.push_back({seg.first, valley - 1, valley - seg.first});
		if (seg.last - valley >= 6)
			split.push_back({valley + 1, seg.last, seg.last - valley});
	}
	return split.size() > segments.size() ? split : segments;
}

int32_t plateWidth(const std::vector<Segment> &segments)
{
	int32_t lmax = 0;
	for (const Segment &seg : segments)
		lmax = std::max(lmax, seg.length);
	std::vector<int32_t> lengths;
	for (const Segment &seg : segments)
		if (int64_t(seg.length) * 5 >= int64_t(lmax) * 2)
			lengths.push_back(seg.length);
	if (lengths.empty())
		return 0;
	std::sort(lengths.begin(), lengths.end());
	return lengths[lengths.size() / 2];
}

PlateScore scorePlates(const std::vector<Segment> &segments, const std::vector<int32_t> &profile, int32_t w,
		       int32_t bandHeight)
{
	PlateScore score;
	if (w <= 0 || bandHeight <= 0)
		return score;
	std::vector<float> fills;
	for (const Segment &seg : segments)
		fills.push_back(fillOf(seg, profile, w, bandHeight));
	for (size_t k = 0; k < fills.size(); ++k)
		if (fills[k] >= 0.3f)
			score.lastFilled = int32_t(k);
	for (size_t k = 0; k < fills.size(); ++k) {
		float s = fills[k] >= 0.7f ? 1.f : fills[k] >= 0.3f ? 0.5f : 0.f;
		if (s == 0.5f && int32_t(k) < score.lastFilled)
			s = 1.f;
		if (s > 0.f) {
			score.sum += s;
			++score.scored;
		}
	}
	return score;
}

float tailProbe(const std::vector<int32_t> &profile, int32_t lastColumn, int32_t w, int32_t threshold)
{
	const int64_t width = int64_t(profile.size());
	const int64_t start = int64_t(lastColumn) + 2;
	if (start >= width || w < 5)
		return 0.f;
	int64_t examined = 0, lit = 0;
	for (int64_t x = start; x <= int64_t(lastColumn) + 1 + w && x < width; ++x) {
		++examined;
		lit += profile[size_t(x)] >= threshold;
	}
	if (examined == 0)
		return 0.f;
	const float share = float(lit) / float(examined);
	return share >= 0.7f ? 1.f : share >= 0.3f ? 0.5f : 0.f;
}

PlateCount countPlates(const RgbaCrop &bar)
{
	PlateCount result;
	if (!isReadableBar(bar))
		return result;
	result.found = true;

	const Mask mask = plateMask(bar);
	if (std::count(mask.bits.begin(), mask.bits.end(), uint8_t(1)) < 8)
		return result;

	const Mask sheared = shearMask(mask, findShear(mask));
	const RowBand band = findRowBand(sheared);
	if (band.peakCount < 4)
		return result;

	const std::vector<int32_t> profile = columnProfile(sheared, band);
	const int32_t threshold = columnThreshold(band);
	const std::vector<Segment> segments = splitMergedCells(findSegments(profile, threshold), profile);
	const int32_t w = plateWidth(segments);
	PlateScore score = scorePlates(segments, profile, w, band.height());
	if ((score.scored == 1 || score.scored == 2) && w > 0)
		score.sum += tailProbe(profile, segments[size_t(score.lastFilled)].last, w, threshold);

	result.count = std::round(2.f * std::min(score.sum, 3.f)) / 2.f;
	return result;
}

} // namespace ostrelo::plates
