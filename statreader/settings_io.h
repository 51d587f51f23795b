#pragma once

#include "statreader/filter_state.h"

#include <obs.h>

namespace ostrelo {

// The libobs edge of the settings: OBS data in, plain values out.
void setFilterDefaults(obs_data_t *settings);
FilterSettings readFilterSettings(obs_data_t *settings);

// The "game_nos" entry of an event: the integer under the event id in decimal when the text
// parses as a JSON object (0 for an absent key or a non-number), nothing otherwise.
std::optional<int64_t> gameNosEntry(const char *gameNosJson, int32_t eventId);

} // namespace ostrelo
