#include "align/region_preview.h"

#include "digits/digit_reader.h"
#include "digits/learned_reader.h"
#include "digits/learned_rules.h"
#include "plates/plates_reader.h"

#include <algorithm>
#include <cmath>

namespace ostrelo {

const char *const kFailedReadText = "\u2014";

namespace {

int32_t clampTo(int64_t v, int32_t upper)
{
	return int32_t(std::clamp<int64_t>(v, 0, upper));
}

// The reader takes the angle as a float; a stored angle beyond float range must not be
// converted as it is. Anything past 30.5 degrees is read unrotated either way.
float readerAngle(double angle)
{
	if (!(angle == angle))
		return 0.0f;
	return float(std::clamp(angle, -1000.0, 1000.0));
}

StatReading readRegion(const AlignRegion &region, const RgbaImage &crop, const CropRect &rect)
{
	if (!region.isPlates())
		// The same second opinion as the filter's, so the preview shows what the filter reads.
		return combineWithLearned(readDigits(toGray(crop.view())), readLearned(crop.view()));
	if (region.outlineCount == 4) {
		PlatesOutline outline{};
		for (size_t i = 0; i < 4; ++i)
			outline[i] = PointF{float(int64_t(region.points[i].x) - rect.x0),
					    float(int64_t(region.points[i].y) - rect.y0)};
		return readPlates(crop.view(), outline, 0.0f);
	}
	return readPlates(crop.view(), std::nullopt, readerAngle(region.angle));
}

} // namespace

std::optional<CropRect> previewCrop(const StatRegion &box, int32_t width, int32_t height)
{
	if (box.w < 4 || box.h < 6 || width < 1 || height < 1)
		return std::nullopt;
	// x + w of a stored region may not fit in 32 bits.
	const CropRect r{clampTo(box.x, width), clampTo(box.y, height), clampTo(int64_t(box.x) + box.w, width),
			 clampTo(int64_t(box.y) + box.h, height)};
	if (r.x1 - r.x0 < 4 || r.y1 - r.y0 < 6)
		return std::nullopt;
	return r;
}

std::string previewText(const AlignRegion &region, const RgbaCrop &frame)
{
	if (!frame.data)
		return {};
	const auto rect = previewCrop(region.box, frame.width, frame.height);
	if (!rect)
		return {};
	const RgbaImage crop = copyRect(frame.data, uint32_t(frame.stride), rect->x0, rect->y0, rect->x1, rect->y1);
	const StatReading reading = readRegion(region, crop, *rect);
	return reading.ok ? std::to_string(reading.value) : std::string(kFailedReadText);
}

void previewRead(std::vector<AlignRegion> &regions, const RgbaCrop &frame)
{
	for (AlignRegion &r : regions)
		r.previewText = previewText(r, frame);
}

} // namespace ostrelo
