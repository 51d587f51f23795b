#pragma once

#include "statreader/numbering.h"

#include <obs.h>

#include <string>

namespace ostrelo {

// "game_nos" with the event's number set: keys ascending, compact. Text that is not a JSON
// object starts a fresh one.
std::string mergeGameNos(const char *gameNosJson, int32_t eventId, int32_t gameNo);

// Writes the numbering into the filter's settings in place (update is not called).
void saveNumbering(obs_source_t *source, const NumberingValues &values);

} // namespace ostrelo
