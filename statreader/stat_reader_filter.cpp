// Registration of "vexmoor_stat_reader" and the OBS callbacks. Each callback is a thin,
// noexcept trampoline: no exception may cross into OBS, and a failing render still passes
// the picture through.

#include "statreader/stat_reader_filter.h"

#include "statreader/default_readers.h"
#include "statreader/settings_io.h"

#include <util/platform.h>

namespace ostrelo {

namespace {

FilterRef *holderOf(void *data)
{
	return static_cast<FilterRef *>(data);
}

const char *filter_get_name(void *) noexcept
{
	return "Vexmoor Stat Reader";
}

void filter_update(void *data, obs_data_t *settings) noexcept
{
	FilterRef *ref = holderOf(data);
	if (!ref || !settings)
		return;
	try {
		StatReaderFilter &f = **ref;
		const uint64_t now = os_gettime_ns();
		FilterSettings read;
		bool tokenRefused = false;
		f.shared.with([&](StatReaderState &s) {
			// Read under the lock: a numbering write (UI thread, same lock) is then either
			// wholly in these settings or still marked as outstanding.
			read = readFilterSettings(settings);
			const int32_t gameNo = s.gameNo;
			applySettings(s, read, now);
			if (s.gameNo != gameNo)
				f.pendingSiteGameNo.store(0);
			tokenRefused = s.config.tokenRefused;
		});
		if (tokenRefused)
			blog(LOG_WARNING, "Vexmoor stat reader: the overlay token was refused: it holds a line break "
					  "or another control character.");
		if (read.eventId != clampEventId(read.eventId))
			blog(LOG_WARNING, "Vexmoor stat reader: event id %lld is out of range; %d is used.",
			     (long long)read.eventId, clampEventId(read.eventId));
	} catch (...) {
		blog(LOG_WARNING, "Vexmoor stat reader: settings could not be applied");
	}
}

void *filter_create(obs_data_t *settings, obs_source_t *source) noexcept
{
	try {
		auto holder = std::make_unique<FilterRef>(std::make_shared<StatReaderFilter>());
		StatReaderFilter &f = **holder;
		f.source = source;
		f.readers = makeDefaultReaders();
		ensureLiveClient(*holder);
		filter_update(holder.get(), settings);
		return holder.release();
	} catch (...) {
		blog(LOG_WARNING, "Vexmoor stat reader: the filter could not be created");
		return nullptr;
	}
}

void filter_destroy(void *data) noexcept
{
	std::unique_ptr<FilterRef> holder(holderOf(data));
	if (!holder)
		return;
	const FilterRef &ref = *holder;
	try {
		{
			// Waits for a queued call that is using the source right now.
			std::lock_guard life(ref->lifetimeMutex);
			ref->alive = false;
		}
		ref->destroying = true;
		ref->snapshotRequested = false;
		ref->capture.snapshotOnPending = false;
		teardownUiSide(ref);
		releaseCaptureResources(ref->capture);
	} catch (...) {
		blog(LOG_WARNING, "Vexmoor stat reader: error while removing the filter");
	}
	// The record itself goes with the last queued call that still holds it.
}

void filter_get_defaults(obs_data_t *settings) noexcept
{
	try {
		setFilterDefaults(settings);
	} catch (...) {
	}
}

obs_properties_t *filter_get_properties(void *data) noexcept
{
	try {
		return buildProperties(data ? *holderOf(data) : FilterRef());
	} catch (...) {
		return obs_properties_create();
	}
}

void filter_video_tick(void *, float) noexcept {}

void filter_video_render(void *data, gs_effect_t *) noexcept
{
	FilterRef *ref = holderOf(data);
	if (!ref)
		return;
	StatReaderFilter &f = **ref;
	f.capture.outputDrawn = false;
	try {
		captureVideoRender(*ref);
	} catch (...) {
		// The picture must reach the output once, whatever happened to the capture.
		if (!f.capture.outputDrawn)
			passThrough(f);
	}
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
