#include "digits/digit_reader.h"

#include <algorithm>

namespace ostrelo {

namespace {

// How many glyphs the box reader's first passes over this image saw in one consistent row,
// up to the first leaning one after the first (what follows a slash is not part of the
// number): the most over the adaptive and the Otsu binarisation.
size_t boxRowLength(const GrayImage &gray)
{
	const GrayImage up = upscaleForReading(stretchContrast(gray));
	const PixelStats stats(up);
	size_t most = 0;
	for (const GrayImage &bilevel : {binarizeAdaptive(up, stats), binarizeOtsu(up, stats)}) {
		const GlyphBoxes boxes = segmentGlyphs(bilevel);
		if (boxes.empty() || !isConsistentRow(boxes))
			continue;
		size_t n = 1;
		while (n < boxes.size() && !isSlash(bilevel, boxes[n], -1, 0.f))
			++n;
		most = std::max(most, n);
	}
	return most;
}

// The soft reader splits the bright span by its aspect. A thin leading 1 set apart from the
// rest falls outside that span, and the reading silently loses a digit (16 becomes 6); the
// boxes of the same image still show it, so such a reading is refused.
StatReading readSoftChecked(const GrayImage &gray)
{
	StatReading r = readSoftGlyphs(gray);
	if (r.ok && size_t(r.digits) < boxRowLength(gray))
		return StatReading();
	return r;
}

} // namespace

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
		r = readSoftChecked(red);
		if (r.ok)
			return r;
	}
	const GrayImage mx = toMaxChannel(crop);
	StatReading r = readDigitsMultiScale(mx);
	if (r.ok)
		return r;
	return readSoftChecked(mx);
}

} // namespace ostrelo
