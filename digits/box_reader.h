#pragma once

#include "common/gray_image.h"
#include "common/stat_reading.h"
#include "digits/segmentation.h"

#include <cstdint>
#include <vector>

namespace ostrelo {

// What the box reader concluded about one glyph.
struct DigitCandidate {
	int32_t digit = -1; // -1: no digit scored above 0
	float score = 0.f;
	float second = 0.f; // best score of any other digit
	bool slash = false;
};

// Reads one bilevel image: segments, scores and checks every glyph, stops at a slash.
StatReading readBoxes(const GrayImage &bilevel);

// The acceptance half of readBoxes: cuts the list at the first slash after the first glyph and
// turns the rest into a reading when every glyph wins clearly.
StatReading readCandidates(const std::vector<DigitCandidate> &candidates);

// Whether a box holds a glyph leaning like a slash (a clear 1 never counts).
bool isSlash(const GrayImage &bilevel, const GlyphBox &box, int32_t digit, float score);

// Reads a grey crop: enlarges it if small and tries several binarisations until one reads.
StatReading readDigits(const GrayImage &gray);

// readDigits after a contrast stretch; large crops that fail are re-read at several heights
// with a vote, and a lone open-topped 4 is tried last.
StatReading readDigitsMultiScale(const GrayImage &gray);

// The vote over the readings of one crop at several heights: the first reading whose value at
// least one other reading shares, with the largest confidence of the readings that agree with
// it (a later value wins only with a strictly larger one). No reading when no two agree.
StatReading voteReadings(const std::vector<StatReading> &readings);

// The reading "4" when the crop holds a single open-topped 4.
StatReading readOpenFour(const GrayImage &gray);

// Mean column of the ink in rows r0 .. r1 - 1 of the box; the box's middle without ink.
int32_t inkCenterX(const GrayImage &bilevel, const GlyphBox &box, int32_t r0, int32_t r1);

} // namespace ostrelo
