#pragma once

// Synthetic plates bars for the tests: dark ground, cells as blue (lit) and grey (unlit)
// rectangles, and the same bar seen through a rotation or a perspective.

#include "common/rgba_crop.h"
#include "plates/plates_reader.h"

#include <array>
#include <functional>
#include <vector>

namespace platestest {

struct Cell {
	int x;      // first column
	int width;  // columns
	double lit; // share of the width that is blue, from the left
};

struct BarLayout {
	int width = 220;
	int height = 40;
	int top = 18; // first row of the cells
	int cellHeight = 4;
	std::vector<Cell> cells;
	// Columns drawn a little shallower (edge rows grey), as where two cells touch.
	std::vector<int> dividers;
};

constexpr std::array<uint8_t, 4> kGround = {22, 26, 30, 255};
constexpr std::array<uint8_t, 4> kUnlit = {70, 72, 74, 255};
constexpr std::array<uint8_t, 4> kBlue = {40, 150, 230, 255};

ostrelo::RgbaImage drawBar(const BarLayout &layout);

// Three cells of 60 columns with gaps of 8, lit to the given shares.
BarLayout threeCells(double lit0, double lit1, double lit2);

// Three cells of the given width, gap and height lit from the left up to plates (0 to 3 in
// halves), with a margin of ground all round, as a HUD draws the bar at some capture size.
BarLayout hudBar(int cellWidth, int gap, int cellHeight, double plates);

// The bar with every row averaged over a window of 2 * radius + 1 columns: the colour smear of
// a compressed or rescaled capture, which bleeds lit cells into narrow gaps.
ostrelo::RgbaImage smeared(const ostrelo::RgbaImage &bar, int radius);

// A canvas of width x height; toBar takes a canvas point to the bar's coordinates, and the
// canvas shows the bar there (bilinear), the ground elsewhere.
using CanvasToBar = std::function<void(double x, double y, double &u, double &v)>;
ostrelo::RgbaImage warp(const ostrelo::RgbaImage &bar, int width, int height, const CanvasToBar &toBar);

// The bar turned by degrees (clockwise on screen) about its centre, on a canvas of the size given.
ostrelo::RgbaImage turned(const ostrelo::RgbaImage &bar, double degrees, int width, int height);

// The bar drawn into a canvas with its corners (0,0), (w-1,0), (w-1,h-1), (0,h-1) at the four
// points of the outline, under the projective map that does that.
ostrelo::RgbaImage inPerspective(const ostrelo::RgbaImage &bar, const ostrelo::PlatesOutline &outline, int width,
				 int height);

} // namespace platestest
