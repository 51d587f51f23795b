#pragma once

// How a template table is cut from a screenshot of the game. The tool that writes
// hud_templates.cpp and the tests that check those tables share this one recipe.

#include "statreader/hud_templates.h"

#include <cstdint>
#include <vector>

namespace ostrelo {

// The screenshots templates are cut from are 1920 x 1080.
inline constexpr int32_t kTemplateScreenWidth = 1920;
inline constexpr int32_t kTemplateScreenHeight = 1080;

// A box in screenshot pixels: columns x <= c < x + w, rows y <= r < y + h.
struct TemplateBox {
	int32_t x = 0;
	int32_t y = 0;
	int32_t w = 0;
	int32_t h = 0;

	bool operator==(const TemplateBox &o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

// Where the element of a template sits on a 1920 x 1080 screen: its expected top-left corner
// and its size at 1080 lines.
TemplateBox defaultTemplateBox(const HudTemplateDef &def);

// Crops the box out of an RGBA frame, turns it grey as luma (77 R + 150 G + 29 B) >> 8 and
// reduces it to outWidth x outHeight by area averaging (each output pixel is the mean of the
// part of the box it covers, fractional source pixels weighted by their share, rounded to the
// nearest integer). Empty when the frame or line size is unusable, the box does not lie
// inside the frame, or a size is not positive.
std::vector<uint8_t> cutTemplate(const uint8_t *rgba, int32_t width, int32_t height, uint32_t lineSize,
				 const TemplateBox &box, int32_t outWidth, int32_t outHeight);

} // namespace ostrelo
