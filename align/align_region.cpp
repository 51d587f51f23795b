#include "align/align_region.h"

#include "statreader/presets.h"
#include "statreader/stat_table.h"

#include <algorithm>
#include <limits>

namespace ostrelo {

bool AlignRegion::isPlates() const
{
	return key == kStatTable[kStatPlates].key;
}

AlignRegion makeAlignRegion(const std::string &key)
{
	AlignRegion r;
	r.key = key;
	r.label = statLabel(key);
	return r;
}

int32_t saturate32(int64_t v)
{
	return int32_t(
		std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void fitBoxToOutline(AlignRegion &region)
{
	const int n = std::clamp(region.outlineCount, 0, 4);
	if (n < 1)
		return;
	int32_t minX = region.points[0].x, maxX = minX;
	int32_t minY = region.points[0].y, maxY = minY;
	for (int i = 1; i < n; ++i) {
		const OutlinePoint &p = region.points[size_t(i)];
		minX = std::min(minX, p.x);
		maxX = std::max(maxX, p.x);
		minY = std::min(minY, p.y);
		maxY = std::max(maxY, p.y);
	}
	// Stored corners can lie anywhere in 32 bits; their span need not fit.
	region.box = StatRegion{minX, minY, saturate32(int64_t(maxX) - minX), saturate32(int64_t(maxY) - minY)};
}

void addOutlinePoint(AlignRegion &region, OutlinePoint point)
{
	if (region.outlineCount < 0 || region.outlineCount >= 4)
		return;
	region.points[size_t(region.outlineCount)] = point;
	++region.outlineCount;
	fitBoxToOutline(region);
}

void moveOutlinePoint(AlignRegion &region, int index, OutlinePoint point)
{
	if (index < 0 || index >= region.outlineCount || index >= 4)
		return;
	region.points[size_t(index)] = point;
	fitBoxToOutline(region);
}

void setDrawnBox(AlignRegion &region, int32_t x, int32_t y, int32_t w, int32_t h)
{
	region.box = StatRegion{x, y, w, h};
	if (region.outlineCount != 4)
		region.outlineCount = 0;
}

void clearRegion(AlignRegion &region)
{
	region.box = StatRegion{};
	region.outlineCount = 0;
	region.angle = 0.0;
	region.previewText.clear();
}

void applyPresetToRegions(std::vector<AlignRegion> &regions, int32_t width, int32_t height)
{
	for (AlignRegion &r : regions) {
		const auto row = warzonePresetRow(r.key);
		if (!row)
			continue;
		if (const auto box = toPixelRect(*row, width, height)) {
			r.box = *box;
			r.outlineCount = 0;
			r.angle = 0.0;
		}
	}
}

} // namespace ostrelo
