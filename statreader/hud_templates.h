#pragma once

// The six grey templates the HUD classifier looks for: where each sits on the game's screens
// and the table of its pixels. The geometry is fixed by the classifier; the pixels are data,
// written by tools/hudtemplates into hud_templates.cpp (see docs/hud-templates.md).

#include <array>
#include <cstddef>
#include <cstdint>

namespace ostrelo {

enum HudTemplateId : int {
	kTemplateAfterAction1 = 0,
	kTemplateAfterAction2 = 1,
	kTemplateSpectating1 = 2,
	kTemplateSpectating2 = 3,
	kTemplateMenu = 4,
	kTemplatePlacement = 5,
	kHudTemplateCount = 6,
};

struct HudTemplateDef {
	const char *name;                  // the tool's name for it, e.g. "after-action-1"
	int32_t storedWidth, storedHeight; // size of the stored table
	int32_t width1080, height1080;     // size of the element on a 1080-line frame
	float x, y;                        // expected top-left, fractions of the reduced image's width and height
	float radius;                      // search radius, a fraction of the reduced image's width
	bool onlyWithoutHud;               // scored only when the live-match HUD is not on screen
};

inline constexpr std::array<HudTemplateDef, kHudTemplateCount> kHudTemplateDefs = {{
	{"after-action-1", 96, 11, 334, 40, 0.047f, 0.046f, 0.03f, true},
	{"after-action-2", 64, 31, 180, 88, 0.104f, 0.196f, 0.04f, true},
	{"spectating-1", 80, 14, 150, 26, 0.461f, 0.138f, 0.05f, false},
	{"spectating-2", 80, 8, 310, 23, 0.421f, 0.967f, 0.05f, false},
	{"menu", 96, 13, 551, 75, 0.078f, 0.788f, 0.04f, true},
	{"placement", 96, 19, 830, 160, 0.224f, 0.436f, 0.05f, true},
}};

// One stored table: storedWidth x storedHeight grey bytes (0 black, 255 white), row by row.
struct HudTemplatePixels {
	const uint8_t *pixels;
	size_t size;
	bool standIn;       // cut from a screen we rendered ourselves, not from a capture of the game
	const char *source; // the screenshot and box it was cut from
};

// Written by tools/hudtemplates; never edit hud_templates.cpp by hand.
extern const std::array<HudTemplatePixels, kHudTemplateCount> kHudTemplatePixels;

} // namespace ostrelo
