// readDigits and readDigitsMultiScale on arbitrary grey images.
#include "digits/digit_reader.h"
#include "digits_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	using namespace ostrelo;
	fuzz::Input in(data, size);
	const GrayImage image = fuzz::grayImage(in);
	const StatReading r = readDigits(image);
	fuzz::checkReading(r, 7, 0.76f);
	if (r.ok && r.value > 999999)
		__builtin_trap();
	fuzz::checkReading(readDigitsMultiScale(image), 7, 0.76f);
	return 0;
}
