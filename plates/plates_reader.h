#pragma once

#include "common/rgba_crop.h"
#include "common/stat_reading.h"

#include <array>
#include <optional>

namespace ostrelo {

struct PointF {
	float x, y;
};

// The corners of the plates bar as the user clicked them: P0 top-left, P1 top-right,
// P2 bottom-right, P3 bottom-left, in the image's pixels.
using PlatesOutline = std::array<PointF, 4>;

// Counts the armour plates (0 to 3 in halves) in a crop around the plates bar. The bar is
// straightened first: by the outline when it is usable, else by turning the crop through
// angleDegrees (clockwise on screen) when 0.25 <= |angle| <= 30.5. Never fails otherwise than
// by a reading with ok false; keeps no state, safe to call from several threads.
StatReading readPlates(const RgbaCrop &image, const std::optional<PlatesOutline> &outline, float angleDegrees);

} // namespace ostrelo
