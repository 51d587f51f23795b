// Arbitrary frames for the HUD classifier: the first bytes choose the size and the padding of
// every row (or a line size shorter than a row), the rest are pixels, repeated to fill the
// frame. The frame buffer is exactly as long as the line size says (to the sanitizer), so a
// read past it is caught.

#include "statreader/hud_classifier.h"
#include "tools/fuzz/digits_fuzz_input.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

uint32_t take16(const uint8_t *&data, size_t &size)
{
	uint32_t v = 0;
	for (int i = 0; i < 2 && size > 0; ++i, ++data, --size)
		v = (v << 8) | *data;
	return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	// Sides below 300; one input in eight opens the whole range up to 1024 for both. Below 540
	// lines the classifier searches its templates at full resolution, so a frame of the large
	// range costs up to some hundred times a small one: drawn as often as small ones, they took
	// nearly all of the run. The rare ones still reach every size (as the digit targets do).
	const uint32_t w = take16(data, size), h = take16(data, size);
	const bool large = (w & 0x7000) == 0x7000;
	const int32_t width = int32_t(large ? w % 1025 : w % 300);
	const int32_t height = int32_t(large ? h % 1025 : h % 300);
	const uint32_t lineChoice = take16(data, size);
	const uint32_t row = uint32_t(width) * 4;
	// Mostly a padded row, sometimes one that is too short (the classifier must refuse it).
	const uint32_t lineSize =
		(lineChoice & 0x8000) ? row - std::min(row, lineChoice & 0x7) : row + (lineChoice & 0x7f);

	const size_t bytes = size_t(lineSize) * size_t(height);
	static ostrelo::fuzz::FrameBuffer buffer;
	uint8_t *const frame = buffer.take(bytes);
	ostrelo::fuzz::repeatInto(frame, bytes, data, size);

	const int32_t state = ostrelo::classifyHudState(bytes == 0 ? nullptr : frame, width, height, lineSize);
	if (state < ostrelo::kHudUnknown || state > ostrelo::kHudAfterAction)
		__builtin_trap();
	if (std::strlen(ostrelo::hudStateName(state)) == 0)
		__builtin_trap();
	// The line-size guard: a row that does not fit its line size is never classified.
	if (lineSize < row && state != ostrelo::kHudUnknown)
		__builtin_trap();
	return 0;
}
