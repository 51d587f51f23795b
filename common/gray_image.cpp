#include "common/gray_image.h"

namespace ostrelo {

GrayImage::GrayImage(int32_t w, int32_t h, uint8_t fill) : width(w > 0 ? w : 0), height(h > 0 ? h : 0)
{
	pixels.assign(size_t(width) * size_t(height), fill);
}

} // namespace ostrelo
