// readRedDigits on arbitrary RGBA crops, also with a stride wider than the rows.
#include "digits/digit_reader.h"
#include "digits_fuzz_input.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	using namespace ostrelo;
	fuzz::Input in(data, size);
	const uint8_t padding = in.byte() % 8;
	const RgbaImage image = fuzz::rgbaImage(in);
	RgbaCrop crop = image.view();
	std::vector<uint8_t> padded;
	if (padding && image.width > 0) {
		// The same pixels with `padding` unused pixels after every row.
		const size_t row = size_t(image.width) * 4;
		const size_t stride = row + size_t(padding) * 4;
		padded.assign(stride * size_t(image.height), 0xA5);
		for (int32_t y = 0; y < image.height; ++y)
			std::copy(image.pixels.begin() + std::ptrdiff_t(row * size_t(y)),
				  image.pixels.begin() + std::ptrdiff_t(row * size_t(y + 1)),
				  padded.begin() + std::ptrdiff_t(stride * size_t(y)));
		crop = RgbaCrop{padded.data(), image.width, image.height, int32_t(stride)};
	}
	fuzz::checkReading(readRedDigits(crop), 7, 0.76f);
	return 0;
}
