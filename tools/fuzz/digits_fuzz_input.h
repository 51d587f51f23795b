#pragma once

// Turns fuzzer bytes into images of bounded size (at most 512 x 512), so the fuzzers explore the
// readers' logic rather than the allocator.

#include "common/gray_image.h"
#include "common/rgba_crop.h"
#include "common/stat_reading.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace ostrelo::fuzz {

class Input {
public:
	Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}

	uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
	uint16_t word() { return uint16_t(byte() | (byte() << 8)); }
	int32_t int32() { return int32_t(uint32_t(word()) | (uint32_t(word()) << 16)); }
	size_t left() const { return size_ - std::min(pos_, size_); }
	const uint8_t *rest() const { return data_ + std::min(pos_, size_); }

private:
	const uint8_t *data_;
	size_t size_;
	size_t pos_ = 0;
};

// A width and height of 0 to 96 (or, for one input in eight, up to 512), and a picture: either
// the remaining bytes as pixels (repeated to fill), or a small picture in them blown up by a whole
// factor so that large images hold large shapes.
inline GrayImage grayImage(Input &in, int32_t channels = 1)
{
	const bool large = (in.byte() & 7) == 7;
	const int32_t w = large ? in.word() % 513 : in.byte() % 97;
	const int32_t h = large ? in.word() % 513 : in.byte() % 97;
	const uint8_t mode = in.byte();
	GrayImage image(w * channels, h);
	const size_t n = in.left();
	if (n == 0 || image.pixels.empty())
		return image;
	const uint8_t *src = in.rest();
	if (mode & 1) {
		const int32_t factor = 1 + (mode >> 1) % 32;
		const int32_t sw = std::max(1, (w + factor - 1) / factor);
		for (int32_t y = 0; y < h; ++y) {
			for (int32_t x = 0; x < w; ++x) {
				const size_t base =
					(size_t(y / factor) * size_t(sw) + size_t(x / factor)) * size_t(channels);
				for (int32_t c = 0; c < channels; ++c)
					image.at(x * channels + c, y) = src[(base + size_t(c)) % n];
			}
		}
	} else {
		for (size_t i = 0; i < image.pixels.size(); ++i)
			image.pixels[i] = src[i % n];
	}
	return image;
}

// The same, as tightly packed RGBA.
inline RgbaImage rgbaImage(Input &in)
{
	const GrayImage packed = grayImage(in, 4);
	RgbaImage out;
	out.width = packed.width / 4;
	out.height = packed.height;
	out.pixels = packed.pixels;
	return out;
}

// Traps when a reading breaks what every reader promises about its fields.
inline void checkReading(const StatReading &r, int32_t maxDigits, float minConfidence)
{
	bool sound = r.exactValue == 0.f;
	if (!r.ok) {
		sound = sound && r.value == 0 && r.digits == 0 && r.confidence == 0.f && r.text.empty();
	} else {
		int64_t value = 0;
		for (char ch : r.text) {
			sound = sound && ch >= '0' && ch <= '9';
			value = value * 10 + (ch - '0');
		}
		sound = sound && r.digits >= 1 && r.digits <= maxDigits && size_t(r.digits) == r.text.size() &&
			value == r.value && r.confidence >= minConfidence && r.confidence <= 1.f;
	}
	if (!sound)
		__builtin_trap();
}

} // namespace ostrelo::fuzz
