#include "hud_test_frames.h"

#include "statreader/hud_classifier.h"

#include <algorithm>

namespace ostrelo::test {

TestFrame::TestFrame(int32_t width, int32_t height, Rgb fill, uint32_t padding)
    : width_(width), height_(height), lineSize_(uint32_t(width) * 4 + padding),
      pixels_(size_t(lineSize_) * size_t(height))
{
	for (int32_t y = 0; y < height_; ++y) {
		uint8_t *row = pixels_.data() + size_t(y) * lineSize_;
		for (int32_t x = 0; x < width_; ++x) {
			row[x * 4 + 0] = fill.r;
			row[x * 4 + 1] = fill.g;
			row[x * 4 + 2] = fill.b;
			row[x * 4 + 3] = 255;
		}
		// Bright warm white in the padding: it would count as bright, warm-ish and detailed.
		for (uint32_t p = uint32_t(width_) * 4; p < lineSize_; ++p)
			row[p] = (p % 4 == 1) ? 120 : 255;
	}
}

TestFrame TestFrame::copyOf(const uint8_t *rgba, int32_t width, int32_t height, uint32_t lineSize)
{
	TestFrame f(width, height, Rgb{0, 0, 0});
	for (int32_t y = 0; y < height; ++y)
		std::copy_n(rgba + size_t(y) * lineSize, size_t(width) * 4, f.pixels_.data() + size_t(y) * f.lineSize_);
	return f;
}

int32_t TestFrame::classify() const
{
	return classifyHudState(data(), width_, height_, lineSize_);
}

void TestFrame::set(int32_t x, int32_t y, Rgb c)
{
	uint8_t *p = pixels_.data() + size_t(y) * lineSize_ + size_t(x) * 4;
	p[0] = c.r;
	p[1] = c.g;
	p[2] = c.b;
}

void TestFrame::fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Rgb c)
{
	x0 = std::max(x0, 0);
	y0 = std::max(y0, 0);
	x1 = std::min(x1, width_);
	y1 = std::min(y1, height_);
	for (int32_t y = y0; y < y1; ++y)
		for (int32_t x = x0; x < x1; ++x)
			set(x, y, c);
}

void drawWorld(TestFrame &f, bool textured)
{
	if (!textured) {
		f.fill(0, 0, f.width(), f.height(), Rgb{116, 110, 100});
		return;
	}
	// Small deterministic ripples around mid-grey: a picture, not a flat fill.
	for (int32_t y = 0; y < f.height(); ++y)
		for (int32_t x = 0; x < f.width(); ++x) {
			const uint8_t v = uint8_t(96 + ((x * 7 + y * 13) % 17));
			f.set(x, y, Rgb{uint8_t(v + 6), v, uint8_t(v - 10)});
		}
}

void drawTopLeftDetail(TestFrame &f)
{
	const hud::PixelBox b = f.box(hud::kTopLeftDetailBox);
	const int32_t x1 = b.x0 + b.width() * 27 / 100;
	const int32_t y0 = b.y0 + b.height() * 33 / 100;
	const int32_t cell = std::max(2, f.height() / 135);
	for (int32_t y = y0; y < b.y1; ++y)
		for (int32_t x = b.x0; x < x1; ++x) {
			const bool light = ((x - b.x0) / cell + (y - y0) / cell) % 2 == 0;
			f.set(x, y, light ? Rgb{230, 232, 226} : Rgb{20, 26, 22});
		}
}

void drawCounters(TestFrame &f, int count)
{
	const hud::PixelBox b = f.box(hud::kCounterStripBox);
	const int32_t slot = b.width() / 4;
	const int32_t stroke = std::max(2, b.height() / 8);
	for (int i = 0; i < count; ++i) {
		const int32_t x0 = b.x0 + slot / 2 + i * slot * 7 / 6;
		const int32_t x1 = x0 + slot / 2;
		const int32_t y0 = b.y0 + b.height() / 6, y1 = b.y1 - b.height() / 6;
		const Rgb ink{245, 245, 240};
		f.fill(x0, y0, x1, y0 + stroke, ink);
		f.fill(x0, y1 - stroke, x1, y1, ink);
		f.fill(x0, y0, x0 + stroke, y1, ink);
		f.fill(x1 - stroke, y0, x1, y1, ink);
	}
}

void drawMatchFrame(TestFrame &f, bool textured)
{
	drawWorld(f, textured);
	drawTopLeftDetail(f);
	drawCounters(f);
}

void drawWarmBand(TestFrame &f, int32_t rows, int32_t warmPerRow, int32_t firstRow)
{
	const hud::PixelBox b = f.box(hud::kPlatesBarBox);
	const int32_t y0 = b.y0 + firstRow;
	f.fill(b.x0 + 3, y0, b.x0 + 3 + warmPerRow, y0 + rows, Rgb{225, 85, 30});
}

} // namespace ostrelo::test
