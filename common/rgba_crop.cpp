#include "common/rgba_crop.h"

#include <cstring>

namespace ostrelo {

RgbaImage copyRect(const uint8_t *frame, uint32_t lineSize, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
	RgbaImage out;
	if (!frame || x1 <= x0 || y1 <= y0)
		return out;
	out.width = x1 - x0;
	out.height = y1 - y0;
	const size_t rowBytes = size_t(out.width) * 4;
	out.pixels.resize(rowBytes * size_t(out.height));
	for (int32_t y = 0; y < out.height; ++y)
		std::memcpy(out.pixels.data() + size_t(y) * rowBytes,
			    frame + size_t(y0 + y) * lineSize + size_t(x0) * 4, rowBytes);
	return out;
}

} // namespace ostrelo
