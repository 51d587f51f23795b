#include "align/view_mapping.h"

#include <algorithm>
#include <cmath>

namespace ostrelo {

namespace {

// Products of a 32-bit coordinate and a 32-bit size need 64 bits; the quotient is brought
// back to the widget bound.
int32_t widgetCoord(int64_t v)
{
	return int32_t(std::clamp<int64_t>(v, -kWidgetCoordLimit, kWidgetCoordLimit));
}

int32_t sourceCoord(int64_t v, int64_t upper)
{
	return int32_t(std::clamp<int64_t>(v, 0, upper));
}

// Widget-side inputs are brought inside the bound first, so every product below stays far
// inside 64 bits whatever the caller passes.
IntRect bounded(const IntRect &r)
{
	return IntRect{widgetCoord(r.x), widgetCoord(r.y), widgetCoord(r.w), widgetCoord(r.h)};
}

} // namespace

bool ViewMapping::possible() const
{
	return sourceWidth > 0 && sourceHeight > 0 && !image.isEmpty();
}

std::optional<IntRect> ViewMapping::boxToWidget(const StatRegion &box) const
{
	if (!possible())
		return std::nullopt;
	const IntRect img = bounded(image);
	const int64_t L = img.x, T = img.y, tw = img.w, th = img.h;
	const int64_t SW = sourceWidth, SH = sourceHeight;
	return IntRect{widgetCoord(L + tw * box.x / SW), widgetCoord(T + th * box.y / SH),
		       widgetCoord(std::max<int64_t>(1, box.w * tw / SW)),
		       widgetCoord(std::max<int64_t>(1, box.h * th / SH))};
}

IntPoint ViewMapping::pointToWidget(int32_t qx, int32_t qy) const
{
	if (!possible())
		return {};
	const IntRect img = bounded(image);
	const int64_t L = img.x, T = img.y, tw = img.w, th = img.h;
	return IntPoint{widgetCoord(L + tw * qx / sourceWidth), widgetCoord(T + th * qy / sourceHeight)};
}

IntPoint ViewMapping::widgetToSource(IntPoint p) const
{
	if (!possible())
		return {};
	const IntRect img = bounded(image);
	const int64_t SW = sourceWidth, SH = sourceHeight;
	const int64_t px = widgetCoord(p.x), py = widgetCoord(p.y);
	return IntPoint{sourceCoord(SW * (px - img.x) / img.w, SW), sourceCoord((py - img.y) * SH / img.h, SH)};
}

std::optional<StatRegion> ViewMapping::rubberBandToSource(const IntRect &band) const
{
	if (!possible())
		return std::nullopt;
	const IntRect img = bounded(image), r = bounded(band);
	const int64_t SW = sourceWidth, SH = sourceHeight;
	const int64_t sx = std::max<int64_t>(0, SW * (int64_t(r.x) - img.x) / img.w);
	const int64_t sy = std::max<int64_t>(0, (int64_t(r.y) - img.y) * SH / img.h);
	const int64_t sw = std::max<int64_t>(1, int64_t(r.w) * SW / img.w);
	const int64_t sh = std::max<int64_t>(1, SH * int64_t(r.h) / img.h);
	return StatRegion{saturate32(sx), saturate32(sy), saturate32(sw), saturate32(sh)};
}

int32_t roundToWidgetPixel(double v)
{
	if (!(v == v))
		return 0;
	return int32_t(std::lround(std::clamp(v, double(-kWidgetCoordLimit), double(kWidgetCoordLimit))));
}

} // namespace ostrelo
