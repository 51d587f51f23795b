#pragma once

// Tells which screen of the game a frame shows, from one frame alone: the menu, a match in
// progress, the player downed, spectating, the placement card or the after-action screen.
// Its boxes follow the Warzone HUD at 16:9, as fractions of the frame.

#include <cstdint>

namespace ostrelo {

enum HudState : int32_t {
	kHudUnknown = 0,
	kHudMenu = 1,
	kHudInMatch = 2,
	kHudDowned = 3,
	kHudSpectating = 4,
	kHudPlacementCard = 5,
	kHudAfterAction = 6,
};

// "unknown", "menu", "in-match", "downed", "spectating", "placement-card", "after-action";
// any other value is "unknown".
const char *hudStateName(int32_t state);

// Classifies an RGBA frame (R, G, B, A bytes; row y starts at y * lineSize). A null frame, one
// under 64 x 64 or a line size shorter than a row is "unknown".
int32_t classifyHudState(const uint8_t *data, int32_t width, int32_t height, uint32_t lineSize);

} // namespace ostrelo
