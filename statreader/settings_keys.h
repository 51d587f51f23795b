#pragma once

#include <string>
#include <vector>

// The one table of the filter's settings keys. Defaults, update, the numbering save, the
// properties panel and the region editor all take their keys from here.
namespace ostrelo::settings {

inline constexpr const char *kGame = "game";
inline constexpr const char *kApiUrl = "api_url";
inline constexpr const char *kToken = "token";
inline constexpr const char *kEventId = "event_id";
inline constexpr const char *kGameNo = "game_no";
inline constexpr const char *kGameNoEvent = "game_no_event";
inline constexpr const char *kGameNos = "game_nos";
inline constexpr const char *kGameStartNs = "game_start_ns";
inline constexpr const char *kWzMatchLive = "wz_match_live";
inline constexpr const char *kWzSawFullLobby = "wz_saw_full_lobby";
inline constexpr const char *kUseWzPreset = "use_wz_preset";
inline constexpr const char *kSend = "send";
inline constexpr const char *kPlatesAngle = "plates_angle";
inline constexpr const char *kPlatesQuadN = "plates_quad_n";

enum RegionField { kRegionX = 0, kRegionY = 1, kRegionW = 2, kRegionH = 3 };

// stat key + "_x" / "_y" / "_w" / "_h"
const std::string &regionKey(int statIndex, RegionField field);
// "plates_qx" / "plates_qy" + corner index 0..3
const std::string &cornerXKey(int corner);
const std::string &cornerYKey(int corner);

enum class SettingType { String, Int, Bool, Double };

struct SettingDefault {
	std::string key;
	SettingType type;
	std::string stringValue;
	long long intValue = 0;
	bool boolValue = false;
	double doubleValue = 0.0;
};

// https://<vendor host>/vexmoor/api/live.php
const std::string &defaultApiUrl();

// Every key with its type and default, in the order the settings table lists them.
const std::vector<SettingDefault> &settingDefaults();

} // namespace ostrelo::settings
