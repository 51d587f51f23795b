// The learned reader on arbitrary RGBA crops (up to 512 x 512, so also far wider or taller than
// the network's canvas), and its second opinion combined with an arbitrary template reading.
#include "digits/learned_reader.h"
#include "digits/learned_rules.h"
#include "digits_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	using namespace ostrelo;
	fuzz::Input in(data, size);
	const RgbaImage image = fuzz::rgbaImage(in);
	const LearnedReading r = readLearned(image.view());
	fuzz::checkReading(r.reading, kLearnedMaxDigits, kLearnedMinConfidence);
	if (r.digitConfidence.size() != size_t(r.reading.digits))
		__builtin_trap();
	if (!(r.emptyConfidence >= 0.f && r.emptyConfidence <= 1.f))
		__builtin_trap();
	fuzz::checkReading(combineWithLearned(StatReading{}, r), kLearnedMaxDigits, kLearnedMinConfidence);
	return 0;
}
