#include "test_support.h"

#include "digits/glyph_templates.h"
#include "digits/grey_glyphs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include <unistd.h> // dup, dup2, mkstemp: the digit tests run on POSIX systems

namespace ostrelo::test {

GrayImage art(std::initializer_list<const char *> rows)
{
	const int32_t h = int32_t(rows.size());
	int32_t w = 0;
	for (const char *r : rows)
		w = std::max(w, int32_t(std::strlen(r)));
	GrayImage image(w, h);
	int32_t y = 0;
	for (const char *r : rows) {
		for (int32_t x = 0; r[x]; ++x)
			image.at(x, y) = r[x] == '#' ? 255 : 0;
		++y;
	}
	return image;
}

std::string toArt(const GrayImage &image)
{
	std::string out;
	for (int32_t y = 0; y < image.height; ++y) {
		for (int32_t x = 0; x < image.width; ++x)
			out.push_back(image.at(x, y) >= 128 ? '#' : '.');
		out.push_back('\n');
	}
	return out;
}

GrayImage renderNumber(const std::string &digits, int32_t height, uint8_t ink, uint8_t background, int32_t margin)
{
	const int32_t n = int32_t(digits.size());
	const int32_t dw = std::max(1, int32_t(std::lround(height * 7.0 / 11.0)));
	const int32_t gap = std::max(1, int32_t(std::lround(height * 2.0 / 11.0)));
	if (margin < 0)
		margin = std::max(2, height / 4);
	GrayImage image(2 * margin + n * dw + (n - 1) * gap, 2 * margin + height, background);
	for (int32_t k = 0; k < n; ++k) {
		const char ch = digits[size_t(k)];
		const int32_t ox = margin + k * (dw + gap);
		for (int32_t y = 0; y < height; ++y) {
			const int32_t row = (2 * y + 1) * 11 / (2 * height); // the font row under the pixel's centre
			for (int32_t x = 0; x < dw; ++x) {
				const int32_t col = (2 * x + 1) * 7 / (2 * dw);
				bool on = false;
				if (ch >= '0' && ch <= '9')
					on = digitFont[size_t(ch - '0')][size_t(row)] & (64 >> col);
				else if (ch == '/') // a stroke two font pixels wide from lower left to upper right
					on = std::abs(x * (height - 1) - (dw - 1) * (height - 1 - y)) <=
					     (height - 1) * dw / 7;
				if (on)
					image.at(ox + x, margin + y) = ink;
			}
		}
	}
	return image;
}

GrayImage sampleNumber(const std::string &digits, int32_t scale, int32_t gap, int32_t margin, uint8_t low, uint8_t high)
{
	const int32_t n = int32_t(digits.size());
	const int32_t gw = 14 * scale, gh = 22 * scale;
	GrayImage image(2 * margin + n * gw + (n - 1) * gap, 2 * margin + gh, low);
	for (int32_t k = 0; k < n; ++k) {
		const GreyGlyph *sample = nullptr;
		for (const GreyGlyph &g : greyGlyphs)
			if (!sample && g.label == digits[size_t(k)] - '0')
				sample = &g;
		if (!sample)
			continue; // no sample of this digit: leave its place empty
		const int32_t ox = margin + k * (gw + gap);
		for (int32_t y = 0; y < gh; ++y)
			for (int32_t x = 0; x < gw; ++x)
				image.at(ox + x, margin + y) = uint8_t(
					low + sample->pixels[(y / scale) * 14 + x / scale] * (high - low) / 255);
	}
	return image;
}

GrayImage addSpecks(const GrayImage &image, uint8_t background, uint8_t value, int32_t count, uint32_t seed)
{
	GrayImage out = image;
	int32_t x0 = out.width, y0 = out.height, x1 = -1, y1 = -1;
	for (int32_t y = 0; y < out.height; ++y)
		for (int32_t x = 0; x < out.width; ++x)
			if (out.at(x, y) != background) {
				x0 = std::min(x0, x);
				y0 = std::min(y0, y);
				x1 = std::max(x1, x);
				y1 = std::max(y1, y);
			}
	auto allowed = [&](int32_t x, int32_t y) {
		if (x >= x0 - 3 && x <= x1 + 3 && y >= y0 - 3 && y <= y1 + 3)
			return false;
		for (int32_t dy = -1; dy <= 1; ++dy)
			for (int32_t dx = -1; dx <= 1; ++dx) {
				const int32_t sx = x + dx, sy = y + dy;
				if (sx >= 0 && sy >= 0 && sx < out.width && sy < out.height &&
				    out.at(sx, sy) != background)
					return false;
			}
		return true;
	};
	std::mt19937 rng(seed);
	int32_t placed = 0;
	for (int32_t attempt = 0; attempt < count * 100 && placed < count; ++attempt) {
		const int32_t x = int32_t(rng() % uint32_t(out.width));
		const int32_t y = int32_t(rng() % uint32_t(out.height));
		if (allowed(x, y)) {
			out.at(x, y) = value;
			++placed;
		}
	}
	return out;
}

GrayImage openFour()
{
	return art({
		"..............",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".##......##...",
		".############.",
		".############.",
		".........##...",
		".........##...",
		".........##...",
		".........##...",
		".........##...",
		".........##...",
		"..............",
	});
}

std::vector<GrayImage> builtInGrids()
{
	std::vector<GrayImage> grids;
	for (int32_t d = 0; d < 10; ++d)
		grids.push_back(renderFontDigit(d));
	for (int32_t i = 0; i < int32_t(altGlyphs.size()); ++i)
		grids.push_back(renderAltGlyph(i));
	grids.push_back(GrayImage(kGridW, kGridH));
	grids.push_back(GrayImage(kGridW, kGridH, 255));
	return grids;
}

GrayImage fontDigitOnGround(int32_t digit)
{
	const GrayImage grid = renderFontDigit(digit);
	GrayImage image(grid.width + 6, grid.height + 6);
	for (int32_t y = 0; y < grid.height; ++y)
		for (int32_t x = 0; x < grid.width; ++x)
			image.at(x + 3, y + 3) = grid.at(x, y);
	return image;
}

GrayImage largeRegionWithNumber()
{
	GrayImage big(2560, 1440, 5);
	const GrayImage number = sampleNumber("306", 8, 2);
	for (int32_t y = 0; y < number.height; ++y)
		for (int32_t x = 0; x < number.width; ++x)
			big.at(1000 + x, 600 + y) = number.at(x, y);
	return big;
}

std::vector<std::string> splitLines(const std::string &text)
{
	std::vector<std::string> out;
	std::istringstream in(text);
	for (std::string line; std::getline(in, line);)
		out.push_back(line);
	return out;
}

RgbaImage tint(const GrayImage &image, uint8_t r, uint8_t g, uint8_t b, uint8_t backR, uint8_t backG, uint8_t backB)
{
	RgbaImage out;
	out.width = image.width;
	out.height = image.height;
	out.pixels.resize(size_t(image.width) * size_t(image.height) * 4);
	auto mix = [](int32_t from, int32_t to, int32_t t) { return uint8_t(from + (to - from) * t / 255); };
	for (size_t i = 0; i < image.pixels.size(); ++i) {
		const int32_t t = image.pixels[i];
		out.pixels[4 * i + 0] = mix(backR, r, t);
		out.pixels[4 * i + 1] = mix(backG, g, t);
		out.pixels[4 * i + 2] = mix(backB, b, t);
		out.pixels[4 * i + 3] = 255;
	}
	return out;
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name)
{
	if (const char *old = std::getenv(name)) {
		hadOld_ = true;
		old_ = old;
	}
	if (value)
		setenv(name, value, 1);
	else
		unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
	if (hadOld_)
		setenv(name_.c_str(), old_.c_str(), 1);
	else
		unsetenv(name_.c_str());
}

StderrCapture::StderrCapture()
{
	std::fflush(stderr);
	char name[] = "/tmp/ostrelo-stderr-XXXXXX";
	const int fd = mkstemp(name);
	path_ = name;
	saved_ = dup(2);
	dup2(fd, 2);
	close(fd);
}

std::string StderrCapture::finish()
{
	if (done_)
		return {};
	done_ = true;
	std::fflush(stderr);
	dup2(saved_, 2);
	close(saved_);
	std::ifstream in(path_, std::ios::binary);
	std::stringstream text;
	text << in.rdbuf();
	std::remove(path_.c_str());
	return text.str();
}

StderrCapture::~StderrCapture()
{
	finish();
}

} // namespace ostrelo::test
