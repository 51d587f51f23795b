#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrelo {

// One row of the stat table. The index of a row is the stat index everywhere in the filter.
struct StatDef {
	const char *key;
	const char *label;
	const char *game; // empty: every game
	int32_t minValue;
	int32_t maxValue;
};

inline constexpr int kStatCount = 7;

enum StatIndex : int {
	kStatKills = 0,
	kStatDeaths = 1,
	kStatScore = 2,
	kStatPlayersLeft = 3,
	kStatTeamsLeft = 4,
	kStatWins = 5,
	kStatPlates = 6,
};

extern const std::array<StatDef, kStatCount> kStatTable;

inline constexpr const char *kGameWarzone = "warzone";
inline constexpr const char *kGameMw4 = "mw4-multiplayer";

struct GameProfile {
	const char *id;
	const char *displayName;
	std::vector<int> stats; // stat indices in table order
};

const std::vector<GameProfile> &gameProfiles();

// Index of a stat key, or -1.
int statIndex(std::string_view key);
// A stat applies when its game is empty or equals the game id exactly.
bool statApplies(int index, std::string_view game);
// Keys the region editor offers: the MW4 list for "mw4-multiplayer", the Warzone list otherwise.
std::vector<std::string> gameStatKeys(std::string_view game);
// The table's label, or the key itself for a key not in the table.
std::string statLabel(std::string_view key);

} // namespace ostrelo
