#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace greyglyphs {

constexpr int kGridW = 14;
constexpr int kGridH = 22;
constexpr int kGridCells = kGridW * kGridH;

using Grid = std::array<uint8_t, kGridCells>;

// A grey picture at the size the HUD shows it, one byte a pixel, bright ink on a dark ground.
struct Picture {
	int width = 0;
	int height = 0;
	std::vector<uint8_t> pixels;

	uint8_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Crops a picture to its ink the way the soft-glyph reader crops a glyph (contrast stretched
// between the 30th and 99.5th percentile, rows with two bright pixels, columns with one, faint
// edge columns trimmed) and area-resamples the crop to 14 x 22. False when the picture shows
// no glyph the reader would take.
bool cropToGrid(const Picture &picture, Grid &grid);

} // namespace greyglyphs
