#pragma once

#include "statreader/regions.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// What the align window edits: one record per stat the game profile reads, with the plates
// outline kept beside the box. Plain C++ so the edits can be tested and fuzzed without Qt.
namespace ostrelo {

struct IntPoint {
	int32_t x = 0;
	int32_t y = 0;

	bool operator==(const IntPoint &o) const { return x == o.x && y == o.y; }
};

// A plates-bar corner in source pixels.
using OutlinePoint = IntPoint;

struct AlignRegion {
	std::string key;   // stat key, e.g. "kills"
	std::string label; // e.g. "Kills"
	StatRegion box;    // source pixels
	// Plates-bar corners in click order (top-left first, then clockwise). Only the first
	// outlineCount count; the others keep whatever they held.
	std::array<OutlinePoint, 4> points{};
	int32_t outlineCount = 0;
	double angle = 0.0;      // degrees; the slider sets -30..30, a stored value is kept as read
	std::string previewText; // last preview read; empty when none

	bool isPlates() const;
};

// A fresh record for a stat key: its label, everything else zero.
AlignRegion makeAlignRegion(const std::string &key);

// 64-bit arithmetic results brought back into a 32-bit field without wrapping.
int32_t saturate32(int64_t v);

// After any outline edit the box is the bounds of the set points; the width is the span
// between the extreme points.
void fitBoxToOutline(AlignRegion &region);
// Appends a corner while fewer than four are set.
void addOutlinePoint(AlignRegion &region, OutlinePoint point);
// Moves a set corner; an index past the set ones is ignored.
void moveOutlinePoint(AlignRegion &region, int index, OutlinePoint point);
// A box drawn by hand. A complete outline survives it; an incomplete one is dropped.
void setDrawnBox(AlignRegion &region, int32_t x, int32_t y, int32_t w, int32_t h);
// Box, outline count, angle and preview go; the corner coordinates stay as they were.
void clearRegion(AlignRegion &region);
// The Warzone 16:9 HUD preset on a width x height snapshot, for the keys that have a row.
void applyPresetToRegions(std::vector<AlignRegion> &regions, int32_t width, int32_t height);

} // namespace ostrelo
