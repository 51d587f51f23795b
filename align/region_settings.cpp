#include "align/region_settings.h"

#include "statreader/settings_keys.h"
#include "statreader/stat_table.h"

#include <obs.hpp>

namespace ostrelo {

namespace {

// The four region keys of a stat, in the order x, y, w, h.
const std::string &regionKey(int statIndex, int field)
{
	return settings::regionKey(statIndex, settings::RegionField(field));
}

// A hand-edited collection may hold anything in 64 bits: keep the nearest 32-bit value
// rather than whatever the low half happens to be.
int32_t getInt32(obs_data_t *data, const std::string &key)
{
	return saturate32(obs_data_get_int(data, key.c_str()));
}

void loadOutline(obs_data_t *data, AlignRegion &r)
{
	r.angle = obs_data_get_double(data, settings::kPlatesAngle);
	const long long n = obs_data_get_int(data, settings::kPlatesQuadN);
	r.outlineCount = n >= 0 && n <= 4 ? int32_t(n) : 0;
	for (int i = 0; i < 4; ++i)
		r.points[size_t(i)] =
			OutlinePoint{getInt32(data, settings::cornerXKey(i)), getInt32(data, settings::cornerYKey(i))};
}

void saveOutline(obs_data_t *data, const AlignRegion &r)
{
	obs_data_set_double(data, settings::kPlatesAngle, r.angle);
	obs_data_set_int(data, settings::kPlatesQuadN, r.outlineCount);
	for (int i = 0; i < 4; ++i) {
		obs_data_set_int(data, settings::cornerXKey(i).c_str(), r.points[size_t(i)].x);
		obs_data_set_int(data, settings::cornerYKey(i).c_str(), r.points[size_t(i)].y);
	}
}

// The filter's source and its settings, held for one load or save.
struct HeldSettings {
	OBSSourceAutoRelease source;
	OBSDataAutoRelease data;
};

// Both empty when the filter is gone.
HeldSettings holdSettings(obs_weak_source_t *weakSource)
{
	HeldSettings held;
	held.source = weakSource ? obs_weak_source_get_source(weakSource) : nullptr;
	if (held.source)
		held.data = obs_source_get_settings(held.source);
	return held;
}

} // namespace

std::vector<AlignRegion> loadRegions(obs_weak_source_t *weakSource)
{
	std::vector<AlignRegion> regions;
	const HeldSettings held = holdSettings(weakSource);
	obs_data_t *data = held.data;
	if (!data)
		return regions;
	const char *game = obs_data_get_string(data, settings::kGame);
	for (const std::string &key : gameStatKeys(game ? game : "")) {
		AlignRegion r = makeAlignRegion(key);
		const int index = statIndex(key);
		r.box = StatRegion{getInt32(data, regionKey(index, 0)), getInt32(data, regionKey(index, 1)),
				   getInt32(data, regionKey(index, 2)), getInt32(data, regionKey(index, 3))};
		if (r.isPlates())
			loadOutline(data, r);
		regions.push_back(std::move(r));
	}
	return regions;
}

bool saveRegions(obs_weak_source_t *weakSource, const std::vector<AlignRegion> &regions, bool usePreset)
{
	const HeldSettings held = holdSettings(weakSource);
	obs_data_t *data = held.data;
	if (!data)
		return false;
	obs_data_set_bool(data, settings::kUseWzPreset, usePreset);
	for (const AlignRegion &r : regions) {
		const int index = statIndex(r.key);
		if (index < 0)
			continue;
		const int32_t values[4] = {r.box.x, r.box.y, r.box.w, r.box.h};
		for (int f = 0; f < 4; ++f)
			obs_data_set_int(data, regionKey(index, f).c_str(), values[f]);
		if (r.isPlates())
			saveOutline(data, r);
	}
	// The filter takes the values through its update; an open properties panel redraws.
	obs_source_update(held.source, data);
	obs_source_update_properties(held.source);
	return true;
}

} // namespace ostrelo
