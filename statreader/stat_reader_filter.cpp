#include "statreader/stat_reader_filter.h"

#include "statreader/settings_io.h"

#include <util/platform.h>

#include <new>

namespace ostrelo {

namespace {

using FilterRef = std::shared_ptr<StatReaderFilter>;

StatReaderFilter *instance(void *data)
{
	return data ? static_cast<FilterRef *>(data)->get() : nullptr;
}

const char *filter_get_name(void *)
{
	return "Vexmoor Stat Reader";
}

void filter_update(void *data, obs_data_t *settings)
{
	StatReaderFilter *f = instance(data);
	if (!f || !settings)
		return;
	const FilterSettings read = readFilterSettings(settings);
	const uint64_t now = os_gettime_ns();
	std::lock_guard lock(f->stateMutex);
	applySettings(f->state, read, now);
}

void *filter_create(obs_data_t *settings, obs_source_t *source)
{
	// No exception may cross into OBS: a failed allocation leaves OBS without the filter.
	try {
		auto *ref = new FilterRef(std::make_shared<StatReaderFilter>());
		(*ref)->source = source;
		filter_update(ref, settings);
		return ref;
	} catch (...) {
		blog(LOG_WARNING, "Vexmoor stat reader: could not create the filter instance");
		return nullptr;
	}
}

void filter_destroy(void *data)
{
	auto *ref = static_cast<FilterRef *>(data);
	if (!ref)
		return;
	(*ref)->destroying = true;
	delete ref;
}

void filter_get_defaults(obs_data_t *settings)
{
	setFilterDefaults(settings);
}

obs_properties_t *filter_get_properties(void *)
{
	obs_properties_t *props = obs_properties_create();
	obs_properties_set_flags(props, OBS_PROPERTIES_DEFER_UPDATE);
	return props;
}

void filter_video_tick(void *, float) {}

void filter_video_render(void *data, gs_effect_t *)
{
	StatReaderFilter *f = instance(data);
	if (f)
		obs_source_skip_video_filter(f->source);
}

} // namespace

void registerStatReaderFilter()
{
	obs_source_info info = {};
	info.id = "vexmoor_stat_reader";
	info.type = OBS_SOURCE_TYPE_FILTER;
	info.output_flags = OBS_SOURCE_VIDEO;
	info.get_name = filter_get_name;
	info.create = filter_create;
	info.destroy = filter_destroy;
	info.get_defaults = filter_get_defaults;
	info.get_properties = filter_get_properties;
	info.update = filter_update;
	info.video_tick = filter_video_tick;
	info.video_render = filter_video_render;
	obs_register_source(&info);
}

} // namespace ostrelo
