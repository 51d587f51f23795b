// readDigits and readDigitsMultiScale on arbitrary grey images.
#include "digits/digit_reader.h"
#include "digits_fuzz_input.h"

namespace {

void check(const ostrelo::StatReading &r)
{
	ostrelo::fuzz::checkReading(r, 7, 0.76f);
	if (r.ok && r.value > 999999)
		__builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	using namespace ostrelo;
	fuzz::Input in(data, size);
	const GrayImage image = fuzz::grayImage(in);
	check(readDigitsMultiScale(image));
	// The multi-scale reader starts with readDigits of the contrast-stretched image (of any
	// image but an empty one): where stretching leaves the image as it is, a readDigits of it
	// here would repeat that read.
	if (image.empty() || stretchContrast(image).pixels != image.pixels)
		check(readDigits(image));
	return 0;
}
