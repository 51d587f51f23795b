#include "digits/digit_reader.h"

namespace ostrelo {

StatReading readRedDigits(const RgbaCrop &crop)
{
	if (crop.width < 8 || crop.height < 8)
		return StatReading();
	// Coloured digits stand out best as redness; the soft reader catches those too small or
	// blurred to binarise.
	const GrayImage red = toRedness(crop);
	if (!red.pixels.empty()) {
		StatReading r = readDigitsMultiScale(red);
		if (r.ok)
			return r;
		r = readSoftGlyphs(red);
		if (r.ok)
			return r;
	}
	const GrayImage mx = toMaxChannel(crop);
	StatReading r = readDigitsMultiScale(mx);
	if (r.ok)
		return r;
	return readSoftGlyphs(mx);
}

} // namespace ostrelo
