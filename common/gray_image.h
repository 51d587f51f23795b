#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrelo {

// 8-bit single-channel image, row-major without gaps. Empty when width or height is 0.
struct GrayImage {
	int32_t width = 0;
	int32_t height = 0;
	std::vector<uint8_t> pixels;

	GrayImage() = default;
	GrayImage(int32_t w, int32_t h, uint8_t fill = 0);

	bool empty() const { return width <= 0 || height <= 0; }
	int64_t size() const { return empty() ? 0 : int64_t(width) * height; }
	// Width x height pixels are present (the readers' precondition).
	bool wellFormed() const { return !empty() && int64_t(pixels.size()) == size(); }

	uint8_t at(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
	uint8_t &at(int32_t x, int32_t y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
	const uint8_t *row(int32_t y) const { return pixels.data() + size_t(y) * size_t(width); }
	uint8_t *row(int32_t y) { return pixels.data() + size_t(y) * size_t(width); }
};

} // namespace ostrelo
