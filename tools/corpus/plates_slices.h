#pragma once

#include "tools/corpus/corpus.h"

#include <QString>

#include <vector>

// Plates bars the way games draw them, at the bar sizes of the common capture resolutions:
// three cells of fixed geometry (lit blue, half lit, or plain dark grey when empty) with the
// gaps, backings, borders and glows around them, as lossless frames and as compressed ones.
namespace ostrelo::corpus {

// The slices in corpus order; each holds every count from 0 to 3 in halves.
const std::vector<QString> &platesSliceNames();

// The crops of one of those slices (empty for any other name), the same on every run.
std::vector<Item> generatePlatesSlice(const QString &slice);

} // namespace ostrelo::corpus
