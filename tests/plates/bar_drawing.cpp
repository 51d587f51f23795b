#include "bar_drawing.h"

#include <algorithm>
#include <cmath>

using ostrelo::RgbaImage;

namespace platestest {

namespace {

void fill(RgbaImage &img, int x, int y, const std::array<uint8_t, 4> &c)
{
	std::copy(c.begin(), c.end(), img.pixels.begin() + (ptrdiff_t(y) * img.width + x) * 4);
}

using Mat3 = std::array<double, 9>;

Mat3 inverse(const Mat3 &m)
{
	const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
			   m[2] * (m[3] * m[7] - m[4] * m[6]);
	return {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
		(m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
		(m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
		(m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
		(m[0] * m[4] - m[1] * m[3]) / det};
}

// The projective map of the unit square onto the quadrilateral (Heckbert's closed form).
Mat3 squareToQuad(const ostrelo::PlatesOutline &q)
{
	const double x0 = q[0].x, y0 = q[0].y, x1 = q[1].x, y1 = q[1].y;
	const double x2 = q[2].x, y2 = q[2].y, x3 = q[3].x, y3 = q[3].y;
	const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
	const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
	const double den = dx1 * dy2 - dx2 * dy1;
	const double g = (sx * dy2 - dx2 * sy) / den, h = (dx1 * sy - sx * dy1) / den;
	return {x1 - x0 + g * x1, x3 - x0 + h * x3, x0, y1 - y0 + g * y1, y3 - y0 + h * y3, y0, g, h, 1.0};
}

} // namespace

RgbaImage drawBar(const BarLayout &layout)
{
	RgbaImage img;
	img.width = layout.width;
	img.height = layout.height;
	img.pixels.resize(size_t(img.width) * size_t(img.height) * 4);
	for (int y = 0; y < img.height; ++y)
		for (int x = 0; x < img.width; ++x)
			fill(img, x, y, kGround);
	for (const Cell &cell : layout.cells) {
		const int litColumns = int(std::lround(cell.width * cell.lit));
		for (int y = layout.top; y < layout.top + layout.cellHeight; ++y)
			for (int x = cell.x; x < cell.x + cell.width; ++x)
				fill(img, x, y, x - cell.x < litColumns ? kBlue : kUnlit);
	}
	for (int x : layout.dividers)
		for (int y = layout.top; y < layout.top + layout.cellHeight; ++y) {
			const bool edge = y == layout.top || y == layout.top + layout.cellHeight - 1;
			fill(img, x, y, edge ? kUnlit : kBlue);
		}
	return img;
}

BarLayout threeCells(double lit0, double lit1, double lit2)
{
	BarLayout layout;
	layout.cells = {{10, 60, lit0}, {78, 60, lit1}, {146, 60, lit2}};
	return layout;
}

BarLayout hudBar(int cellWidth, int gap, int cellHeight, double plates)
{
	BarLayout layout;
	const int margin = 6;
	layout.top = cellHeight / 2 + 2;
	layout.cellHeight = cellHeight;
	layout.height = 2 * layout.top + cellHeight;
	layout.width = 2 * margin + 3 * cellWidth + 2 * gap;
	for (int k = 0; k < 3; ++k)
		layout.cells.push_back({margin + k * (cellWidth + gap), cellWidth, std::clamp(plates - k, 0.0, 1.0)});
	return layout;
}

RgbaImage smeared(const RgbaImage &bar, int radius)
{
	RgbaImage out = bar;
	for (int y = 0; y < bar.height; ++y)
		for (int x = 0; x < bar.width; ++x)
			for (int ch = 0; ch < 3; ++ch) {
				int sum = 0, n = 0;
				for (int i = std::max(0, x - radius); i <= std::min(bar.width - 1, x + radius);
				     ++i, ++n)
					sum += bar.pixels[(size_t(y) * size_t(bar.width) + size_t(i)) * 4 + size_t(ch)];
				out.pixels[(size_t(y) * size_t(bar.width) + size_t(x)) * 4 + size_t(ch)] =
					uint8_t((sum + n / 2) / n);
			}
	return out;
}

RgbaImage warp(const RgbaImage &bar, int width, int height, const CanvasToBar &toBar)
{
	RgbaImage out;
	out.width = width;
	out.height = height;
	out.pixels.resize(size_t(width) * size_t(height) * 4);
	auto barPixel = [&](int x, int y) {
		if (x < 0 || y < 0 || x >= bar.width || y >= bar.height)
			return kGround;
		std::array<uint8_t, 4> c;
		std::copy_n(bar.pixels.begin() + (ptrdiff_t(y) * bar.width + x) * 4, 4, c.begin());
		return c;
	};
	for (int y = 0; y < height; ++y)
		for (int x = 0; x < width; ++x) {
			double u = 0, v = 0;
			toBar(x, y, u, v);
			const double fu = std::floor(u), fv = std::floor(v), ax = u - fu, ay = v - fv;
			const int iu = int(fu), iv = int(fv);
			std::array<uint8_t, 4> c{};
			for (int ch = 0; ch < 4; ++ch) {
				const double s = (1 - ax) * (1 - ay) * barPixel(iu, iv)[size_t(ch)] +
						 ax * (1 - ay) * barPixel(iu + 1, iv)[size_t(ch)] +
						 (1 - ax) * ay * barPixel(iu, iv + 1)[size_t(ch)] +
						 ax * ay * barPixel(iu + 1, iv + 1)[size_t(ch)];
				c[size_t(ch)] = uint8_t(std::lround(std::clamp(s, 0.0, 255.0)));
			}
			fill(out, x, y, c);
		}
	return out;
}

RgbaImage turned(const RgbaImage &bar, double degrees, int width, int height)
{
	const double phi = degrees * 3.14159265358979323846 / 180.0;
	const double c = std::cos(phi), s = std::sin(phi);
	const double bcx = (bar.width - 1) / 2.0, bcy = (bar.height - 1) / 2.0;
	const double ccx = (width - 1) / 2.0, ccy = (height - 1) / 2.0;
	// A canvas point comes from the bar point turned the other way.
	return warp(bar, width, height, [&](double x, double y, double &u, double &v) {
		const double dx = x - ccx, dy = y - ccy;
		u = bcx + dx * c + dy * s;
		v = bcy - dx * s + dy * c;
	});
}

RgbaImage inPerspective(const RgbaImage &bar, const ostrelo::PlatesOutline &outline, int width, int height)
{
	const Mat3 toCanvas = squareToQuad(outline);
	const Mat3 toSquare = inverse(toCanvas);
	const double bw = bar.width - 1, bh = bar.height - 1;
	return warp(bar, width, height, [&](double x, double y, double &u, double &v) {
		const double d = toSquare[6] * x + toSquare[7] * y + toSquare[8];
		u = (toSquare[0] * x + toSquare[1] * y + toSquare[2]) / d * bw;
		v = (toSquare[3] * x + toSquare[4] * y + toSquare[5]) / d * bh;
	});
}

} // namespace platestest
