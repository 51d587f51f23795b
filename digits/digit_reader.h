#pragma once

// What the filter and the align window call: grey conversions of a crop and the readers.

#include "common/stat_reading.h"
#include "digits/box_reader.h"
#include "digits/image_prep.h"
