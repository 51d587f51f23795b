#pragma once

#include "statreader/regions.h"

#include <optional>
#include <string_view>

namespace ostrelo {

// A rectangle in fractions of the frame (x, w of the width; y, h of the height).
struct PresetRect {
	const char *key;
	float x, y, w, h;
};

// The Warzone 16:9 HUD row of a stat key, if it has one.
std::optional<PresetRect> warzonePresetRow(std::string_view key);
// The end-card row of (table, key); tables are "placement" and "aar".
std::optional<PresetRect> cardTableRow(std::string_view table, std::string_view key);

// Fractional rectangle to pixels on a width x height frame, clipped to it; nothing when the
// frame or the result is too small.
std::optional<StatRegion> toPixelRect(const PresetRect &rect, int32_t width, int32_t height);

} // namespace ostrelo
