#pragma once

#include <cstdint>

namespace ostrelo {

// What the HUD classifier says a frame shows.
enum HudState : int32_t {
	kHudUnknown = 0,
	kHudMenu = 1,
	kHudInMatch = 2,
	kHudDowned = 3,
	kHudSpectating = 4,
	kHudPlacementCard = 5,
	kHudAfterAction = 6,
};

} // namespace ostrelo

namespace ostrelo {

// The name the panel shows for a state; any other value is "unknown".
const char *hudStateName(int32_t state);

} // namespace ostrelo
