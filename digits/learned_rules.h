#pragma once

// How the learned reader's second opinion changes a reading of the template readers. Frame
// processing, the end-card reads, the align window's preview and the corpus tools all go
// through this one function, so they can never disagree about a crop.

#include "common/stat_reading.h"
#include "digits/learned_reader.h"

namespace ostrelo {

// Thresholds on the learned reading's confidence.
struct LearnedThresholds {
	// A template reading is dropped when the learned reader reads another number, or another
	// number of digits, at least this sure.
	float veto = 0.f;
	// When the template readers read nothing, the learned reading stands in at least this sure.
	float backup = 0.f;
	// A template reading is dropped when the learned reader is at least this sure that the crop
	// shows no digit at all.
	float empty = 0.f;
};

// Chosen on the learned reader's validation split (ostrelo-learned-eval --sweep; 2,000 crops in
// training faces and 2,000 in held-out faces, each read on the three paths frame processing
// uses): the most correct reads while no path and face set reads more than 0.5 % of its crops
// wrong, a number on an empty crop counting as wrong. There they gave 87.7 % correct, 0.33 %
// wrong and 6 numbers on 819 empty crops, against 18.6 % correct and 4.1 % wrong for the
// template readers alone. A low veto costs little: it only turns a reading into none, and only
// where the learned reader, right far more often than the template readers on such crops,
// reads something else.
inline constexpr LearnedThresholds kLearnedThresholds{0.4f, 0.9f, 0.9f};

// reading: the template readers' result after the caller's own confidence floor (ok false
// for no reading); learned: the learned reader's result for the same crop.
StatReading combineWithLearned(const StatReading &reading, const LearnedReading &learned,
			       const LearnedThresholds &thresholds = kLearnedThresholds);

} // namespace ostrelo
