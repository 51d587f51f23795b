#pragma once

#include "statreader/filter_state.h"
#include "statreader/update_fields.h"

#include <optional>

namespace ostrelo {

// What the numbering save writes into the filter's settings.
struct NumberingValues {
	int32_t gameNo = 1;
	int32_t eventId = 0;
	uint64_t gameStartNs = 0;
	bool matchLive = false;
	bool sawFullLobby = false;
};

NumberingValues numberingOf(const StatReaderState &state);

// The outcome of "New game" or "Reset game #": the numbering to save, and the update to
// post when sending is possible (force send is then already consumed).
struct NumberingChange {
	NumberingValues save;
	std::optional<PendingSend> send;
};

NumberingChange pressNewGame(StatReaderState &state, uint64_t nowNs);
NumberingChange pressResetGameNumber(StatReaderState &state, uint64_t nowNs);

} // namespace ostrelo
