#pragma once

#include "statreader/filter_state.h"
#include "statreader/update_fields.h"

#include <map>
#include <optional>

namespace ostrelo {

// What the numbering save writes into the filter's settings.
struct NumberingValues {
	int32_t gameNo = 1;
	int32_t eventId = 0;
	uint64_t gameStartNs = 0;
	bool matchLive = false;
	bool sawFullLobby = false;
	// Numbers of events left before their own write landed; merged into "game_nos" first.
	std::map<int32_t, int32_t> earlierEvents;
};

NumberingValues numberingOf(const StatReaderState &state);

// "New game" and "Reset game #": they change the numbering in the state and return the
// update to post when sending is possible (force send is then already consumed). The
// caller saves the numbering.
std::optional<PendingSend> pressNewGame(StatReaderState &state, uint64_t nowNs);
std::optional<PendingSend> pressResetGameNumber(StatReaderState &state, uint64_t nowNs);

} // namespace ostrelo
