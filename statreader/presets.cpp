#include "statreader/presets.h"

#include <array>
#include <cmath>

namespace ostrelo {

namespace {

const std::array<PresetRect, 4> kWarzonePreset = {{
	{"teams_left", 0.90047f, 0.0741f, 0.02032f, 0.0204f},
	{"players_left", 0.9234f, 0.0741f, 0.02345f, 0.0204f},
	{"kills", 0.94945f, 0.0741f, 0.02189f, 0.0204f},
	{"plates", 0.03648f, 0.88786f, 0.11464f, 0.03707f},
}};

const std::array<PresetRect, 2> kPlacementCard = {{
	{"placement", 0.13549f, 0.42632f, 0.06253f, 0.16682f},
	{"kills", 0.085f, 0.735f, 0.055f, 0.075f},
}};

const std::array<PresetRect, 2> kAfterAction = {{
	{"placement", 0.20636f, 0.1965f, 0.02084f, 0.07f},
	{"kills", 0.24388f, 0.47729f, 0.02866f, 0.06951f},
}};

template <size_t N>
std::optional<PresetRect> findRow(const std::array<PresetRect, N> &table, std::string_view key)
{
	for (const PresetRect &row : table)
		if (key == row.key)
			return row;
	return std::nullopt;
}

} // namespace

std::optional<PresetRect> warzonePresetRow(std::string_view key)
{
	return findRow(kWarzonePreset, key);
}

std::optional<PresetRect> cardTableRow(std::string_view table, std::string_view key)
{
	if (table == "placement")
		return findRow(kPlacementCard, key);
	if (table == "aar")
		return findRow(kAfterAction, key);
	return std::nullopt;
}

std::optional<StatRegion> toPixelRect(const PresetRect &rect, int32_t width, int32_t height)
{
	if (!(rect.w > 0.f) || !(rect.h > 0.f) || width < 8 || height < 8)
		return std::nullopt;
	// Fractions are at most a few units, so these stay far inside 64 bits.
	long long x = std::llround(double(rect.x) * width);
	long long y = std::llround(double(rect.y) * height);
	long long w = std::llround(double(rect.w) * width);
	long long h = std::llround(double(rect.h) * height);
	x = std::max(x, 0LL);
	y = std::max(y, 0LL);
	if (x >= width || y >= height)
		return std::nullopt;
	if (x + w > width)
		w = width - x;
	if (y + h > height)
		h = height - y;
	if (w < 4 || h < 6)
		return std::nullopt;
	return StatRegion{int32_t(x), int32_t(y), int32_t(w), int32_t(h)};
}

} // namespace ostrelo
