#include "statreader/stat_table.h"

namespace ostrelo {

const std::array<StatDef, kStatCount> kStatTable = {{
	{"kills", "Kills", "", 0, 999},
	{"deaths", "Deaths", kGameMw4, 0, 999},
	{"score", "Score", kGameMw4, 0, 999999},
	{"players_left", "Players left", kGameWarzone, 0, 200},
	{"teams_left", "Teams left", kGameWarzone, 0, 100},
	{"wins", "Wins", kGameWarzone, 0, 200},
	{"plates", "Plates", kGameWarzone, 0, 3},
}};

const std::vector<GameProfile> &gameProfiles()
{
	static const std::vector<GameProfile> profiles = {
		{kGameWarzone, "Warzone", {kStatKills, kStatPlayersLeft, kStatTeamsLeft, kStatWins, kStatPlates}},
		{kGameMw4, "MW4 Multiplayer", {kStatKills, kStatDeaths, kStatScore}},
	};
	return profiles;
}

int statIndex(std::string_view key)
{
	for (int i = 0; i < kStatCount; ++i)
		if (key == kStatTable[size_t(i)].key)
			return i;
	return -1;
}

bool statApplies(int index, std::string_view game)
{
	if (index < 0 || index >= kStatCount)
		return false;
	const std::string_view statGame = kStatTable[size_t(index)].game;
	return statGame.empty() || statGame == game;
}

std::vector<std::string> gameStatKeys(std::string_view game)
{
	const auto &profiles = gameProfiles();
	const GameProfile &profile = game == kGameMw4 ? profiles[1] : profiles[0];
	std::vector<std::string> keys;
	for (int index : profile.stats)
		keys.emplace_back(kStatTable[size_t(index)].key);
	return keys;
}

std::string statLabel(std::string_view key)
{
	const int index = statIndex(key);
	return index >= 0 ? std::string(kStatTable[size_t(index)].label) : std::string(key);
}

} // namespace ostrelo
