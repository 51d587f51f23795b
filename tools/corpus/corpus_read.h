#pragma once

#include "statreader/frame_processing.h"
#include "tools/corpus/corpus_io.h"

#include <map>

namespace ostrelo::corpus {

// How a reading of one crop came out. A wrong number is the harmful failure: the filter
// would post it. No reading only delays a value.
enum class Outcome { Correct, Wrong, None };

struct ReadResult {
	Outcome outcome = Outcome::None;
	double value = 0; // what was read, when something was
};

// Reads a crop the way frame processing reads its kind: counters through the Warzone
// counter path (grey, then the red path), end-card numbers from the brightest channel,
// plates with the outline or angle the crop comes with; readings below the filter's
// confidence floor count as none. Numbers then get the learned reader's second opinion
// (combineWithLearned) from readers.readLearned, as when nothing is confirmed yet.
ReadResult readEntry(StatReaders &readers, const Entry &entry, const RgbaImage &crop);

struct Tally {
	int correct = 0;
	int wrong = 0;
	int none = 0;
	int total() const { return correct + wrong + none; }
	double percent(int n) const { return total() ? 100.0 * n / total() : 0.0; }
};

} // namespace ostrelo::corpus
