#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrelo {

// A borrowed block of RGBA pixels (R, G, B, A bytes; alpha is never read). Row y starts at
// y * stride, pixel x of a row at x * 4. The readers only read through it.
struct RgbaCrop {
	const uint8_t *data = nullptr;
	int32_t width = 0;
	int32_t height = 0;
	int32_t stride = 0; // bytes per row

	const uint8_t *pixel(int32_t x, int32_t y) const { return data + int64_t(y) * stride + int64_t(x) * 4; }
};

// An owned, tightly packed RGBA image (stride = width * 4), e.g. a crop cut out of a frame.
struct RgbaImage {
	int32_t width = 0;
	int32_t height = 0;
	std::vector<uint8_t> pixels;

	RgbaCrop view() const { return RgbaCrop{pixels.data(), width, height, width * 4}; }
};

// Copies the rectangle [x0, x1) x [y0, y1) of a frame into a tightly packed image. The
// rectangle must lie inside the frame; the caller clips it first.
RgbaImage copyRect(const uint8_t *frame, uint32_t lineSize, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

} // namespace ostrelo
