#pragma once

#include "common/gray_image.h"
#include "common/rgba_crop.h"
#include "digits/segmentation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

namespace ostrelo {
// How GoogleTest prints a box in a failure message.
inline void PrintTo(const GlyphBox &b, std::ostream *os)
{
	*os << "(" << b.x0 << "," << b.y0 << "," << b.x1 << "," << b.y1 << ")";
}
} // namespace ostrelo

namespace ostrelo::test {

// A bilevel image drawn as text: '#' is ink (255), anything else background (0).
GrayImage art(std::initializer_list<const char *> rows);

// The image as text, '#' for ink (top bit set) and '.' for background, one line per row.
std::string toArt(const GrayImage &image);

// A number in the built-in 7 x 11 font, each digit `height` pixels high and height * 7 / 11 wide
// (rounded), nearest-neighbour scaled (each pixel takes the font pixel under its centre), with a
// gap of height * 2 / 11 between digits and a margin around the number (by default
// max(2, height / 4)). '/' draws a slash in a digit's cell, ' ' leaves it empty.
GrayImage renderNumber(const std::string &digits, int32_t height, uint8_t ink, uint8_t background, int32_t margin = -1);

// A number built from the grey digit samples of the soft reader (the first sample of each digit;
// there are none for 7 and 9), each scaled up `scale` times, `gap` pixels apart, inside a dark
// margin. Sample values v become low + v * (high - low) / 255.
GrayImage sampleNumber(const std::string &digits, int32_t scale = 1, int32_t gap = 1, int32_t margin = 4,
		       uint8_t low = 0, uint8_t high = 255);

// Scatters `count` single pixels of the given value over the margin of an image: never within
// three pixels of the box around everything that differs from the background, and never next to
// each other. Deterministic per seed.
GrayImage addSpecks(const GrayImage &image, uint8_t background, uint8_t value, int32_t count, uint32_t seed);

// A 4 drawn with an open top, the way some HUD fonts draw it (18 x 14, bilevel).
GrayImage openFour();

// Every built-in grid: the ten font digits, the nine alternatives, and an empty and a full grid.
std::vector<GrayImage> builtInGrids();

// A font digit's glyph grid drawn on a background with a margin of 3 pixels around it.
GrayImage fontDigitOnGround(int32_t digit);

// A 2560 x 1440 region, almost black, with "306" drawn from the grey samples eight times their
// size (176 px high) near the middle.
GrayImage largeRegionWithNumber();

// The lines of a text, without their line ends.
std::vector<std::string> splitLines(const std::string &text);

// Paints a grey image into an RGBA crop: each grey g becomes (r, g, b) scaled by g / 255.
RgbaImage tint(const GrayImage &image, uint8_t r, uint8_t g, uint8_t b, uint8_t backR, uint8_t backG, uint8_t backB);

// Sets an environment variable for the lifetime of the object and restores the previous state.
class ScopedEnv {
public:
	ScopedEnv(const char *name, const char *value);
	~ScopedEnv();
	ScopedEnv(const ScopedEnv &) = delete;
	ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
	std::string name_;
	std::string old_;
	bool hadOld_ = false;
};

// A fixture whose tests run with both trace switches (VX_DIGIT_DEBUG, VX_SOFT_DUMP) cleared.
class WithoutTraceSwitches : public ::testing::Test {
protected:
	ScopedEnv noDebug_{"VX_DIGIT_DEBUG", nullptr};
	ScopedEnv noDump_{"VX_SOFT_DUMP", nullptr};
};

// Captures everything written to file descriptor 2 (standard error) while it lives.
class StderrCapture {
public:
	StderrCapture();
	~StderrCapture();
	StderrCapture(const StderrCapture &) = delete;
	StderrCapture &operator=(const StderrCapture &) = delete;

	// Stops capturing and returns what was written.
	std::string finish();

private:
	int saved_ = -1;
	std::string path_;
	bool done_ = false;
};

} // namespace ostrelo::test
