#pragma once

#include "align/align_region.h"
#include "common/rgba_crop.h"

#include <optional>
#include <string>
#include <vector>

// What each region would read on the snapshot right now: the numbers shown next to the labels
// in the align view. Runs on the UI thread, independently of the filter's own reading.
namespace ostrelo {

// Shown for a region whose read failed.
extern const char *const kFailedReadText; // "—"

// [x0, x1) x [y0, y1) inside the picture.
struct CropRect {
	int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The part of a box that lies in a width x height picture; nothing when the box or that part
// is under 4 x 6 pixels.
std::optional<CropRect> previewCrop(const StatRegion &box, int32_t width, int32_t height);

// The preview text of one region: the value read, "—" for a failed read, empty when the
// region is too small or too far outside the picture to be read.
std::string previewText(const AlignRegion &region, const RgbaCrop &frame);

// Sets the preview text of every region, in list order.
void previewRead(std::vector<AlignRegion> &regions, const RgbaCrop &frame);

} // namespace ostrelo
