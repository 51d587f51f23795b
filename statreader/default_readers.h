#pragma once

#include "statreader/frame_processing.h"

#include <memory>

namespace ostrelo {

// The readers the filter uses on real frames: the HUD classifier, the digit reader with the
// red-counter path, the plates reader and the end-card reader.
std::unique_ptr<StatReaders> makeDefaultReaders();

} // namespace ostrelo
