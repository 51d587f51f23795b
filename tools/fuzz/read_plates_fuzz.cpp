// Input: width, height, flags, nine raw floats (the outline's corners and the angle), then
// pixel bytes repeated over the crop. Crops stay small; outlines and angles are anything, except
// that finite corners between 256 and 1e6 pixels are folded below 256: those only make large
// images of the same kind (the size limits are unit-tested) and would slow the search down.

#include "digits_fuzz_input.h"
#include "plates/plates_internal.h"
#include "plates/plates_reader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace ostrelo;

namespace {

float foldMidRange(float v)
{
	return std::isfinite(v) && std::fabs(v) > 256.f && std::fabs(v) <= 1e6f ? std::fmod(v, 256.f) : v;
}

float takeFloat(const uint8_t *&data, size_t &size)
{
	float v = 0.f;
	if (size >= sizeof v) {
		std::memcpy(&v, data, sizeof v);
		data += sizeof v;
		size -= sizeof v;
	}
	return v;
}

void check(const StatReading &r)
{
	// A reading is 0 to 3 in halves with its rounded value; a failure is all zero.
	if (r.ok) {
		const bool halves = std::fabs(r.exactValue * 2.f - std::round(r.exactValue * 2.f)) < 1e-6f;
		if (r.exactValue < 0.f || r.exactValue > 3.f || !halves ||
		    r.value != int32_t(std::lround(r.exactValue)) || r.digits != 1 || r.text.empty())
			std::abort();
	} else if (r.value != 0 || r.digits != 0 || r.confidence != 0.f || !r.text.empty() || r.exactValue != 0.f) {
		std::abort();
	}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 3)
		return 0;
	const int32_t width = 1 + data[0] % 96;
	const int32_t height = 1 + data[1] % 64;
	const uint8_t flags = data[2];
	data += 3;
	size -= 3;

	PlatesOutline outline{};
	for (PointF &p : outline) {
		p.x = foldMidRange(takeFloat(data, size));
		p.y = foldMidRange(takeFloat(data, size));
	}
	if (flags & 4) // corners inside or near the crop, so rectification does real work
		for (PointF &p : outline) {
			p.x = std::fmod(std::fabs(p.x), float(width) * 1.5f);
			p.y = std::fmod(std::fabs(p.y), float(height) * 1.5f);
			if (!std::isfinite(p.x) || !std::isfinite(p.y))
				p = PointF{0.f, 0.f};
		}
	const float angle = takeFloat(data, size);

	const int32_t stride = width * 4 + ((flags & 2) ? 12 : 0);
	std::vector<uint8_t> pixels(size_t(stride) * size_t(height), 0);
	fuzz::repeatInto(pixels, data, size);
	const RgbaCrop crop{pixels.data(), width, height, stride};

	check(readPlates(crop, (flags & 1) ? std::optional<PlatesOutline>(outline) : std::nullopt, angle));

	// The steps the reader guards itself, reached here with values it would not pass on: an
	// angle outside the reader's window, or one that comes with an outline. Inside the window
	// and without an outline the reader has just turned this very crop.
	const float magnitude = std::fabs(angle);
	if ((flags & 1) || !(magnitude >= 0.25f && magnitude <= 30.5f)) {
		const RgbaImage turned = plates::rotateBar(crop, angle);
		if (int64_t(turned.width) * turned.height > plates::kMaxBarPixels ||
		    turned.pixels.size() != size_t(turned.width) * size_t(turned.height) * 4)
			std::abort();
	}
	(void)plates::sampleBilinear(crop, outline[0].x, outline[0].y);
	return 0;
}
