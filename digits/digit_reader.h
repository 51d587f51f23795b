#pragma once

// What the filter and the align window call: grey conversions of a crop and the readers.

#include "common/rgba_crop.h"
#include "common/stat_reading.h"
#include "digits/box_reader.h"
#include "digits/image_prep.h"
#include "digits/soft_glyphs.h"

namespace ostrelo {

// Reads digits drawn in a strong colour: the redness image first (box reader, then soft
// reader), then the brightest channel. Crops under 8 x 8 give no reading.
StatReading readRedDigits(const RgbaCrop &crop);

} // namespace ostrelo
