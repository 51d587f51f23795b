#include "statreader/filter_state.h"

#include "statreader/presets.h"
#include "statreader/token.h"

#include <algorithm>
#include <climits>

namespace ostrelo {

void StatReaderState::resetTracking()
{
	for (StatTracker &t : trackers)
		t.clear();
	lastSent.fill(kNeverSent);
	matchLive = false;
	sawFullLobby = false;
	lastSendNs = 0;
}

int32_t storedGameNumber(int32_t eventId, const std::optional<int64_t> &gameNosEntry, int64_t gameNoEvent,
			 int64_t gameNo)
{
	if (eventId <= 0)
		return 1;
	if (gameNosEntry && *gameNosEntry >= 1 && *gameNosEntry <= 999)
		return int32_t(*gameNosEntry);
	if (eventId == gameNoEvent)
		return gameNo >= 1 && gameNo <= 999 ? int32_t(gameNo) : 1;
	return 1;
}

namespace {

int32_t clampCoord(int64_t v)
{
	return int32_t(std::clamp<int64_t>(v, -kRegionCoordLimit, kRegionCoordLimit));
}

int32_t clampSize(int64_t v)
{
	return int32_t(std::clamp<int64_t>(v, 0, kRegionCoordLimit));
}

} // namespace

int32_t clampEventId(int64_t stored)
{
	return int32_t(std::clamp<int64_t>(stored, INT32_MIN, INT32_MAX));
}

namespace {

void applyNumbering(StatReaderState &state, const FilterSettings &in, int32_t previousEvent, uint64_t nowNs)
{
	const int32_t eventId = state.config.eventId;
	if (state.numberingUnsaved) {
		if (eventId == previousEvent)
			return;
		if (previousEvent > 0)
			state.unsavedGameNos[previousEvent] = state.gameNo;
		const auto kept = state.unsavedGameNos.find(eventId);
		state.gameNo = kept != state.unsavedGameNos.end()
				       ? kept->second
				       : storedGameNumber(eventId, in.gameNosEntry, in.gameNoEvent, in.gameNo);
		return;
	}

	state.gameNo = storedGameNumber(eventId, in.gameNosEntry, in.gameNoEvent, in.gameNo);

	if (in.gameStartNs != 0) {
		// Monotonic time restarts at boot: a start stored before a reboot can lie in the
		// future and would keep the 300 s new-game rule off until uptime caught up.
		const uint64_t stored = uint64_t(in.gameStartNs);
		state.gameStartNs = stored > nowNs ? nowNs : stored;
	} else if (state.gameStartNs == 0) {
		state.gameStartNs = nowNs;
	}

	state.matchLive = in.matchLive;
	state.sawFullLobby = in.sawFullLobby;
}

} // namespace

void applySettings(StatReaderState &state, const FilterSettings &in, uint64_t nowNs)
{
	FilterConfig &c = state.config;
	c.game = in.game.empty() ? std::string(kGameWarzone) : in.game;
	c.apiUrl = in.apiUrl.empty() ? settings::defaultApiUrl() : in.apiUrl;
	c.token = normalizeToken(in.token);
	c.tokenRefused = tokenHoldsControlCharacter(c.token);
	if (c.tokenRefused)
		c.token.clear();
	const int32_t previousEvent = c.eventId;
	c.eventId = clampEventId(in.eventId);

	applyNumbering(state, in, previousEvent, nowNs);

	c.usePreset = in.useWzPreset;
	c.send = in.send;

	for (int i = 0; i < kStatCount; ++i) {
		const auto &r = in.regions[size_t(i)];
		c.regions[size_t(i)] = StatRegion{clampCoord(r[0]), clampCoord(r[1]), clampSize(r[2]), clampSize(r[3])};
	}

	// NaN fails both comparisons of clamp; treat it as no rotation.
	c.plates.angle = in.platesAngle == in.platesAngle ? std::clamp(in.platesAngle, -30.0, 30.0) : 0.0;
	c.plates.n = in.platesQuadN >= 0 && in.platesQuadN <= 4 ? int32_t(in.platesQuadN) : 0;
	for (size_t i = 0; i < 4; ++i) {
		c.plates.qx[i] = clampCoord(in.qx[i]);
		c.plates.qy[i] = clampCoord(in.qy[i]);
	}
}

void applyWarzonePreset(FilterConfig &config, int32_t width, int32_t height)
{
	if (!config.usePreset || config.game != kGameWarzone || width < 16 || height < 16)
		return;
	for (int i = 0; i < kStatCount; ++i) {
		const auto row = warzonePresetRow(kStatTable[size_t(i)].key);
		if (!row)
			continue;
		if (const auto region = toPixelRect(*row, width, height))
			config.regions[size_t(i)] = *region;
	}
}

} // namespace ostrelo
