#pragma once

#include "statreader/filter_state.h"

#include <obs.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace ostrelo {

// One instance per "Vexmoor Stat Reader" filter. OBS holds it between create and destroy;
// queued calls from the graphics thread may hold it a little longer (see destroy).
struct StatReaderFilter {
	obs_source_t *source = nullptr; // not owned

	// Guards state: processing (graphics thread), the buttons, the panel and the live
	// client's result handler (UI thread) all use it. Never held across a call into OBS
	// that may call back into the filter, nor across a network call.
	std::mutex stateMutex;
	StatReaderState state;

	std::atomic<bool> destroying{false};
};

// Registers the filter type "vexmoor_stat_reader" with OBS.
void registerStatReaderFilter();

} // namespace ostrelo
