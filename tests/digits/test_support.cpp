#include "test_support.h"

#include "digits/glyph_templates.h"

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

GrayImage renderNumber(const std::string &digits, int32_t height, uint8_t ink, uint8_t background)
{
	const int32_t n = int32_t(digits.size());
	const int32_t dw = std::max(1, int32_t(std::lround(height * 7.0 / 11.0)));
	const int32_t gap = std::max(1, int32_t(std::lround(height * 2.0 / 11.0)));
	const int32_t margin = std::max(2, height / 4);
	GrayImage image(2 * margin + n * dw + (n - 1) * gap, 2 * margin + height, background);
	for (int32_t k = 0; k < n; ++k) {
		const int32_t d = digits[size_t(k)] - '0';
		const int32_t ox = margin + k * (dw + gap);
		for (int32_t y = 0; y < height; ++y) {
			const int32_t row = y * 11 / height;
			for (int32_t x = 0; x < dw; ++x) {
				const int32_t col = x * 7 / dw;
				if (digitFont[size_t(d)][size_t(row)] & (64 >> col))
					image.at(ox + x, margin + y) = ink;
			}
		}
	}
	return image;
}

GrayImage addSpecks(const GrayImage &image, uint8_t background, uint8_t value, int32_t count, uint32_t seed)
{
	GrayImage out = image;
	std::mt19937 rng(seed);
	auto clearAround = [&](int32_t x, int32_t y) {
		for (int32_t dy = -2; dy <= 2; ++dy)
			for (int32_t dx = -2; dx <= 2; ++dx) {
				const int32_t sx = x + dx, sy = y + dy;
				if (sx >= 0 && sy >= 0 && sx < out.width && sy < out.height &&
				    out.at(sx, sy) != background)
					return false;
			}
		return true;
	};
	int32_t placed = 0;
	for (int32_t attempt = 0; attempt < count * 50 && placed < count; ++attempt) {
		const int32_t x = int32_t(rng() % uint32_t(out.width));
		const int32_t y = int32_t(rng() % uint32_t(out.height));
		if (clearAround(x, y)) {
			out.at(x, y) = value;
			++placed;
		}
	}
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
