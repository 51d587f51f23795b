#include "plates/plates_reader.h"

#include "plates/plates_internal.h"

#include <cmath>
#include <string>

namespace ostrelo {

namespace {

bool isLargeEnough(const RgbaImage &bar)
{
	return bar.width >= 12 && bar.height >= 8;
}

// "2" for whole counts, "2.5" otherwise: one digit after the point, written by hand so that a
// locale the host application sets (a decimal comma) cannot change the text.
std::string countText(float count, int32_t value)
{
	if (std::fabs(count - float(value)) < 0.05f)
		return std::to_string(value);
	const long tenths = std::lround(double(count) * 10.0);
	return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

StatReading formatReading(const plates::PlateCount &plates)
{
	StatReading reading;
	if (!plates.found)
		return reading;
	reading.ok = true;
	reading.exactValue = plates.count;
	reading.value = int32_t(std::lround(plates.count));
	reading.digits = 1;
	reading.confidence = 0.9f;
	reading.text = countText(plates.count, reading.value);
	return reading;
}

} // namespace

StatReading readPlates(const RgbaCrop &image, const std::optional<PlatesOutline> &outline, float angleDegrees)
{
	if (!plates::isReadableCrop(image))
		return {};

	if (plates::isQuadUsable(outline)) {
		const std::optional<RgbaImage> rectified = plates::rectifyQuad(image, *outline);
		if (rectified && isLargeEnough(*rectified))
			return formatReading(plates::countPlates(rectified->view(), true));
	}

	const float magnitude = std::fabs(angleDegrees);
	if (magnitude >= 0.25f && magnitude <= 30.5f) {
		const RgbaImage rotated = plates::rotateBar(image, angleDegrees);
		if (isLargeEnough(rotated))
			return formatReading(plates::countPlates(rotated.view()));
	}

	return formatReading(plates::countPlates(image));
}

} // namespace ostrelo
