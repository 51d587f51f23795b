#pragma once

#include "align/align_region.h"
#include "statreader/regions.h"

#include <cstdint>
#include <optional>

// Conversions between the align view's widget pixels and the snapshot's source pixels.
// Plain integer arithmetic with truncating division, so a box lands on the same widget pixel
// every time it is drawn and a click always picks the same source pixel.
namespace ostrelo {

struct IntRect {
	int32_t x = 0;
	int32_t y = 0;
	int32_t w = 0;
	int32_t h = 0;

	bool isEmpty() const { return w <= 0 || h <= 0; }
	bool operator==(const IntRect &o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

// Widget coordinates are kept within this bound: a stored region far outside any frame
// still maps to a rectangle whose right and bottom edges fit in 32 bits.
inline constexpr int32_t kWidgetCoordLimit = 1 << 24;

struct ViewMapping {
	IntRect image;            // where the snapshot is drawn in the widget (L, T, tw, th)
	int32_t sourceWidth = 0;  // SW
	int32_t sourceHeight = 0; // SH

	// A mapping needs a snapshot size and a non-empty image rectangle.
	bool possible() const;
	// Source box to widget rectangle, at least 1 x 1; nothing when no mapping is possible.
	std::optional<IntRect> boxToWidget(const StatRegion &box) const;
	// Source point to widget point; (0, 0) when no mapping is possible.
	IntPoint pointToWidget(int32_t qx, int32_t qy) const;
	// Widget point to source point, clamped to 0..SW and 0..SH (the size itself is reachable).
	IntPoint widgetToSource(IntPoint p) const;
	// A released rubber band (normalised, widget pixels) to a source box. Only the left and
	// top are kept non-negative; the box is not clipped on the right or bottom.
	std::optional<StatRegion> rubberBandToSource(const IntRect &band) const;
};

// Rounds a floating-point mouse position half away from zero, inside the widget bound.
int32_t roundToWidgetPixel(double v);

} // namespace ostrelo
