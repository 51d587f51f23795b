// readSoftGlyphs on arbitrary grey images, and its sampling with arbitrary boxes.
#include "digits/soft_glyphs.h"
#include "digits_fuzz_input.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	using namespace ostrelo;
	fuzz::Input in(data, size);
	const int32_t x0 = in.int32(), y0 = in.int32(), x1 = in.int32(), y1 = in.int32();
	const float norm = float(in.word()) / 16.f;
	const GrayImage image = fuzz::grayImage(in);

	const StatReading r = readSoftGlyphs(image);
	fuzz::checkReading(r, 3, 0.779f);
	if (r.ok && r.confidence > 0.95f)
		__builtin_trap();

	const SoftGlyph g = sampleSoftGlyph(image, x0, y0, x1, y1, norm);
	for (float c : g.cells)
		if (!(c >= 0.f && c <= 1.f + 1e-5f))
			__builtin_trap();
	const float self = correlateSoft(g, blurSoftGlyph(g));
	if (!(self >= -1.f - 1e-5f && self <= 1.f + 1e-5f))
		__builtin_trap();
	return 0;
}
