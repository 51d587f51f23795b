#pragma once

// Synthetic game frames for the HUD classifier's tests and benchmark: a plain or textured
// picture with the pieces of the live-match HUD drawn where the classifier looks for them.

#include "statreader/hud_classifier_internal.h"

#include <cstdint>
#include <vector>

namespace ostrelo::test {

struct Rgb {
	uint8_t r, g, b;
};

// An RGBA frame; padding adds bytes at the end of every row (filled with a loud colour so a
// reader that strays into them is noticed).
class TestFrame {
public:
	TestFrame(int32_t width, int32_t height, Rgb fill, uint32_t padding = 0);
	// A copy of RGBA pixels with rows lineSize bytes apart.
	static TestFrame copyOf(const uint8_t *rgba, int32_t width, int32_t height, uint32_t lineSize);

	int32_t width() const { return width_; }
	int32_t height() const { return height_; }
	uint32_t lineSize() const { return lineSize_; }
	const uint8_t *data() const { return pixels_.data(); }
	uint8_t *data() { return pixels_.data(); }
	hud::FrameView view() const { return hud::FrameView{data(), width_, height_, lineSize_}; }
	int32_t classify() const;

	void set(int32_t x, int32_t y, Rgb c);
	// Fills columns x0 <= x < x1, rows y0 <= y < y1, clipped to the frame.
	void fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Rgb c);
	void fill(const hud::PixelBox &b, Rgb c) { fill(b.x0, b.y0, b.x1, b.y1, c); }
	// The pixel box of a fractional box on this frame.
	hud::PixelBox box(const hud::FractionBox &f) const { return hud::toPixelBox(f, width_, height_); }

private:
	int32_t width_;
	int32_t height_;
	uint32_t lineSize_;
	std::vector<uint8_t> pixels_;
};

// A mid-grey world: flat, so that no template can find anything in it, or with a gentle
// deterministic texture (variance far below the detail test's) for a realistic picture.
void drawWorld(TestFrame &f, bool textured = false);
// A minimap-like checkerboard in the lower left part of the top-left detail box, clear of
// the windows where the after-action templates are searched.
void drawTopLeftDetail(TestFrame &f);
// Three bright counters (rings, like a drawn "0") in the top-right counter strip.
void drawCounters(TestFrame &f, int count = 3);
// Both, plus the world: a frame of a match in progress.
void drawMatchFrame(TestFrame &f, bool textured = false);
// rows rows of warm pixels, warmPerRow per row, starting firstRow rows into the plates bar.
void drawWarmBand(TestFrame &f, int32_t rows, int32_t warmPerRow, int32_t firstRow = 4);

} // namespace ostrelo::test
