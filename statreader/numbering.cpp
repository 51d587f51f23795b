#include "statreader/numbering.h"

#include <algorithm>

namespace ostrelo {

NumberingValues numberingOf(const StatReaderState &st)
{
	return NumberingValues{st.gameNo,    st.config.eventId, st.gameStartNs,
			       st.matchLive, st.sawFullLobby,   st.unsavedGameNos};
}

namespace {

// Both buttons start a game now; when the update cannot go out (sending off, no token or
// event), force send stays set and the next processed frame carries "new_game".
std::optional<PendingSend> startGame(StatReaderState &st, uint64_t nowNs, int32_t gameNo, const char *field)
{
	st.gameNo = gameNo;
	st.gameStartNs = nowNs;
	st.resetTracking();
	st.forceSend = true;
	if (!st.config.canSend())
		return std::nullopt;
	UpdateFields fields;
	fields[field] = FieldValue::integer(1);
	st.forceSend = false;
	return PendingSend{st.config.apiUrl, st.config.token, st.config.eventId, std::move(fields), gameNo};
}

} // namespace

std::optional<PendingSend> pressNewGame(StatReaderState &st, uint64_t nowNs)
{
	return startGame(st, nowNs, std::min(st.gameNo + 1, 999), "new_game");
}

std::optional<PendingSend> pressResetGameNumber(StatReaderState &st, uint64_t nowNs)
{
	return startGame(st, nowNs, 1, "game_no");
}

} // namespace ostrelo
