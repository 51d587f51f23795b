#pragma once

#include <array>
#include <cstdint>

namespace ostrelo {

// A stat rectangle in the pixels of the filter's input.
struct StatRegion {
	int32_t x = 0;
	int32_t y = 0;
	int32_t w = 0;
	int32_t h = 0;

	// Too small regions are never read.
	bool isSet() const { return w >= 4 && h >= 6; }
	bool operator==(const StatRegion &o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

// The plates-bar outline: corners clicked from the top-left, clockwise. Only a full outline
// (n == 4) is used; with fewer points the plates region is read turned by the angle.
struct PlatesQuad {
	int32_t n = 0;
	std::array<int32_t, 4> qx{};
	std::array<int32_t, 4> qy{};
	double angle = 0.0;
};

} // namespace ostrelo
