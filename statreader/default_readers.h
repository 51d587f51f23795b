#pragma once

#include "statreader/frame_processing.h"

#include <memory>

namespace ostrelo {

// The readers the filter uses on real frames: the HUD classifier, the digit reader with the
// red-counter path, the plates reader, the end-card reader and the learned reader. Without
// `learned` the learned reader reads nothing (measurements of the template readers alone).
std::unique_ptr<StatReaders> makeDefaultReaders(bool learned = true);

} // namespace ostrelo
