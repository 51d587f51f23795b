#pragma once

// Turns fuzzer bytes into images of bounded size (at most 512 x 512), so the fuzzers explore the
// readers' logic rather than the allocator.

#include "common/gray_image.h"
#include "common/rgba_crop.h"
#include "common/stat_reading.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

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

// Fills out[0 .. size - 1] with copies of src[0 .. n - 1] one after another (the last copy cut
// short), or with zeros when n is 0.
inline void repeatInto(uint8_t *out, size_t size, const uint8_t *src, size_t n)
{
	if (size == 0)
		return;
	if (n == 0) {
		std::fill(out, out + size, uint8_t(0));
		return;
	}
	const size_t first = std::min(n, size);
	std::copy(src, src + first, out);
	// Each copy doubles what is filled: a few block copies, not one modulo per pixel.
	for (size_t filled = first; filled < size;) {
		const size_t chunk = std::min(filled, size - filled);
		std::copy(out, out + chunk, out + filled);
		filled += chunk;
	}
}

inline void repeatInto(std::vector<uint8_t> &out, const uint8_t *src, size_t n)
{
	repeatInto(out.data(), out.size(), src, n);
}

// Memory for a frame that one execution after another reuses. A fresh buffer of a large frame is
// fresh pages from the kernel at every execution (the sanitizer's allocator maps large blocks
// anew each time), which cost as much as classifying the frame. AddressSanitizer still sees
// exactly the n bytes asked for: the buffer begins where its allocation does, so a read before
// it meets the allocation's redzone, and everything after the n bytes is poisoned, so a read
// past them is reported as at the end of a buffer of n bytes.
class FrameBuffer {
public:
	FrameBuffer() = default;
	FrameBuffer(const FrameBuffer &) = delete;
	FrameBuffer &operator=(const FrameBuffer &) = delete;
	~FrameBuffer() { ASAN_UNPOISON_MEMORY_REGION(storage_.data(), storage_.size()); }

	// n bytes whose contents are left from earlier executions: the caller writes every one.
	uint8_t *take(size_t n)
	{
		ASAN_UNPOISON_MEMORY_REGION(storage_.data(), storage_.size());
		if (n > storage_.size())
			storage_ = std::vector<uint8_t>(n);
		ASAN_POISON_MEMORY_REGION(storage_.data() + n, storage_.size() - n);
		return storage_.data();
	}

private:
	std::vector<uint8_t> storage_;
};

// A width and height of 0 to 96 (or, for one input in eight, up to 512), and a picture: either
// the remaining bytes as pixels (repeated to fill), or a small picture in them blown up by a whole
// factor so that large images hold large shapes. Decoded with whole-row and block copies: the
// readers, not the decoding, should take the fuzzer's time.
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
	if (!(mode & 1)) {
		repeatInto(image.pixels, src, n);
		return image;
	}
	// Pixel (x, y) takes small pixel (x / factor, y / factor) of a picture sw wide whose bytes
	// repeat the input; a row of the picture is built once and copied factor times.
	const int32_t factor = 1 + (mode >> 1) % 32;
	const int32_t sw = std::max(1, (w + factor - 1) / factor);
	const size_t rowBytes = size_t(w) * size_t(channels);
	for (int32_t y = 0; y < h; y += factor) {
		uint8_t *row = image.row(y);
		const size_t base = size_t(y / factor) * size_t(sw) * size_t(channels);
		for (int32_t x = 0; x < w; x += factor) {
			const size_t px = base + size_t(x / factor) * size_t(channels);
			for (int32_t c = 0; c < channels; ++c) {
				const uint8_t v = src[(px + size_t(c)) % n];
				for (int32_t k = 0; k < factor && x + k < w; ++k)
					row[size_t(x + k) * size_t(channels) + size_t(c)] = v;
			}
		}
		for (int32_t k = 1; k < factor && y + k < h; ++k)
			std::copy(row, row + rowBytes, image.row(y + k));
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
