#pragma once

#include "statreader/regions.h"
#include "statreader/settings_keys.h"
#include "statreader/stat_table.h"
#include "statreader/stat_tracker.h"

#include <array>
#include <climits>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace ostrelo {

// The filter's settings as read from its OBS settings object, before any rule is applied.
// The libobs edge fills it; everything after that is plain C++.
struct FilterSettings {
	std::string game;
	std::string apiUrl;
	std::string token; // as pasted
	int64_t eventId = 0;
	int64_t gameNo = 1;
	int64_t gameNoEvent = 0;
	// The number "game_nos" holds for eventId, when "game_nos" parsed as an object; absent
	// keys and non-numbers read as 0.
	std::optional<int64_t> gameNosEntry;
	int64_t gameStartNs = 0;
	bool matchLive = false;
	bool sawFullLobby = false;
	bool useWzPreset = true;
	bool send = true;
	double platesAngle = 0.0;
	int64_t platesQuadN = 0;
	std::array<int64_t, 4> qx{};
	std::array<int64_t, 4> qy{};
	std::array<std::array<int64_t, 4>, kStatCount> regions{}; // x, y, w, h per stat index
};

// What the user configured, as the filter uses it.
struct FilterConfig {
	std::string game = kGameWarzone;
	std::string apiUrl = settings::defaultApiUrl();
	std::string token;         // normalised; empty when refused
	bool tokenRefused = false; // the pasted token held a control character
	int32_t eventId = 0;
	bool usePreset = true;
	bool send = true;
	std::array<StatRegion, kStatCount> regions{};
	PlatesQuad plates;

	bool isWarzone() const { return game == kGameWarzone; }
	bool canSend() const { return send && !token.empty() && eventId > 0; }
};

inline constexpr int32_t kNeverSent = INT32_MIN;

// Everything frame processing, the numbering operations and the panel share. The filter
// guards one instance of it with its state lock.
struct StatReaderState {
	FilterConfig config;

	// numbering
	int32_t gameNo = 1;
	uint64_t gameStartNs = 0;
	// The numbering changed on the graphics thread and its write into the settings waits on
	// the UI thread. Until it lands the settings hold older numbers than memory, and update
	// must not take them back.
	bool numberingUnsaved = false;
	// Game numbers of events switched away from while such a write was waiting: written with it.
	std::map<int32_t, int32_t> unsavedGameNos;

	// match
	bool matchLive = false;
	bool sawFullLobby = false;
	bool final = false;
	// Frames in a row, since the final result, whose counters showed a full lobby: the next
	// game has begun even when the HUD state never reads "in-match".
	int32_t fullLobbiesAfterFinal = 0;
	int32_t hudState = 0;
	bool forceSend = false;
	uint64_t lastSendNs = 0;

	// tracking
	std::array<StatTracker, kStatCount> trackers{};
	StatTracker cardKills;
	StatTracker cardPlacement;
	std::array<int32_t, kStatCount> lastSent = filledLastSent();

	// shown in the properties panel
	std::string statusText;

	// Clears the stat trackers, the last sent values, the match flags and the heartbeat
	// clock. End-card trackers, final and force send are left alone.
	void resetTracking();

	static std::array<int32_t, kStatCount> filledLastSent()
	{
		std::array<int32_t, kStatCount> a{};
		a.fill(kNeverSent);
		return a;
	}
};

// Settings values larger than any frame are clamped when read: a hand-edited collection must
// not overflow the clip arithmetic or size images from absurd values.
inline constexpr int32_t kRegionCoordLimit = 16384;

// The game number stored for an event: "game_nos" first, then "game_no" when it belongs to
// the same event, else 1.
int32_t storedGameNumber(int32_t eventId, const std::optional<int64_t> &gameNosEntry, int64_t gameNoEvent,
			 int64_t gameNo);

// The filter's update: reads the settings into the state. now is os_gettime_ns(). While a
// numbering write is outstanding, the game number, start time and match flags stay as they
// are in memory (the number of another event is still taken, when the event changes).
void applySettings(StatReaderState &state, const FilterSettings &in, uint64_t nowNs);

// An event id as stored (64 bits) narrowed to the filter's 32: clamped, never wrapped onto
// another event's id.
int32_t clampEventId(int64_t stored);

// Overwrites the Warzone stat regions with the 16:9 HUD preset for a frame of this size,
// when the preset is on and the game is Warzone. Settings are not touched.
void applyWarzonePreset(FilterConfig &config, int32_t width, int32_t height);

} // namespace ostrelo
