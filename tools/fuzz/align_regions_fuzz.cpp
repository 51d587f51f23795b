// Input: raw 32-bit integers for a view mapping, a stored region with its four corners and a
// rubber band, then the bytes of a small RGBA frame. Everything the align window computes from
// stored settings and mouse positions must stay inside its bounds, whatever the numbers.

#include "align/align_region.h"
#include "align/region_preview.h"
#include "align/view_mapping.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace ostrelo;

namespace {

int32_t takeInt(const uint8_t *&data, size_t &size)
{
	int32_t v = 0;
	if (size >= sizeof v) {
		std::memcpy(&v, data, sizeof v);
		data += sizeof v;
		size -= sizeof v;
	}
	return v;
}

void require(bool ok)
{
	if (!ok)
		std::abort();
}

void checkWidgetRect(const IntRect &r)
{
	require(r.w >= 1 && r.h >= 1);
	require(int64_t(r.x) + r.w <= 2 * int64_t(kWidgetCoordLimit) &&
		int64_t(r.y) + r.h <= 2 * int64_t(kWidgetCoordLimit));
	require(r.x >= -kWidgetCoordLimit && r.y >= -kWidgetCoordLimit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	ViewMapping m;
	m.image = IntRect{takeInt(data, size), takeInt(data, size), takeInt(data, size), takeInt(data, size)};
	m.sourceWidth = takeInt(data, size);
	m.sourceHeight = takeInt(data, size);

	AlignRegion r = makeAlignRegion("plates");
	r.box = StatRegion{takeInt(data, size), takeInt(data, size), takeInt(data, size), takeInt(data, size)};
	for (OutlinePoint &p : r.points)
		p = OutlinePoint{takeInt(data, size), takeInt(data, size)};
	r.outlineCount = takeInt(data, size);
	const IntRect band{takeInt(data, size), takeInt(data, size), takeInt(data, size), takeInt(data, size)};
	const IntPoint click{takeInt(data, size), takeInt(data, size)};

	if (const auto w = m.boxToWidget(r.box))
		checkWidgetRect(*w);
	const IntPoint p = m.pointToWidget(r.points[0].x, r.points[0].y);
	require(std::abs(int64_t(p.x)) <= kWidgetCoordLimit && std::abs(int64_t(p.y)) <= kWidgetCoordLimit);
	const IntPoint s = m.widgetToSource(click);
	if (m.possible())
		require(s.x >= 0 && s.x <= m.sourceWidth && s.y >= 0 && s.y <= m.sourceHeight);
	if (const auto b = m.rubberBandToSource(band))
		require(b->x >= 0 && b->y >= 0 && b->w >= 1 && b->h >= 1);

	moveOutlinePoint(r, click.x & 7, OutlinePoint{s.x, s.y});
	addOutlinePoint(r, OutlinePoint{click.y, click.x});
	fitBoxToOutline(r);
	if (r.outlineCount >= 1 && r.outlineCount <= 4)
		require(r.box.w >= 0 && r.box.h >= 0);

	// A small frame from what is left: side lengths from the first two bytes.
	if (size < 2)
		return 0;
	const int32_t fw = 1 + data[0] % 48, fh = 1 + data[1] % 32;
	data += 2;
	size -= 2;
	std::vector<uint8_t> pixels(size_t(fw) * size_t(fh) * 4);
	for (size_t i = 0; i < pixels.size() && size > 0; ++i)
		pixels[i] = data[i % size];
	if (const auto crop = previewCrop(r.box, fw, fh))
		require(crop->x0 >= 0 && crop->x1 <= fw && crop->y0 >= 0 && crop->y1 <= fh &&
			crop->x1 - crop->x0 >= 4 && crop->y1 - crop->y0 >= 6);
	r.angle = double(band.x) / 1e3;
	std::vector<AlignRegion> regions = {r, makeAlignRegion("kills")};
	regions[1].box = r.box;
	previewRead(regions, RgbaCrop{pixels.data(), fw, fh, fw * 4});
	return 0;
}
