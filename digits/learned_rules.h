#pragma once

// How the learned reader's second opinion changes a reading of the template readers. Frame
// processing, the end-card reads, the align window's preview and the corpus tools all go
// through this one function, so they can never disagree about a crop.

#include "common/stat_reading.h"
#include "digits/learned_reader.h"

namespace ostrelo {

// Thresholds on the learned reading's confidence, chosen on the learned reader's validation
// split (tools/learned/README.md has the figures they gave).
//
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

inline constexpr LearnedThresholds kLearnedThresholds{0.9f, 0.97f, 0.95f};

// specified: the template readers' result after the caller's own confidence floor (ok false
// for no reading); learned: the learned reader's result for the same crop.
StatReading combineWithLearned(const StatReading &specified, const LearnedReading &learned,
			       const LearnedThresholds &thresholds = kLearnedThresholds);

} // namespace ostrelo
