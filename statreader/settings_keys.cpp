#include "statreader/settings_keys.h"

#include "common/build_config.h"
#include "statreader/stat_table.h"

#include <array>

namespace ostrelo::settings {

namespace {

const std::array<std::array<std::string, 4>, kStatCount> &regionKeys()
{
	static const auto keys = [] {
		std::array<std::array<std::string, 4>, kStatCount> k;
		static const char *suffix[4] = {"_x", "_y", "_w", "_h"};
		for (int i = 0; i < kStatCount; ++i)
			for (int f = 0; f < 4; ++f)
				k[size_t(i)][size_t(f)] = std::string(kStatTable[size_t(i)].key) + suffix[f];
		return k;
	}();
	return keys;
}

const std::array<std::string, 8> &cornerKeys()
{
	static const auto keys = [] {
		std::array<std::string, 8> k;
		for (int i = 0; i < 4; ++i) {
			k[size_t(i)] = "plates_qx" + std::to_string(i);
			k[size_t(i) + 4] = "plates_qy" + std::to_string(i);
		}
		return k;
	}();
	return keys;
}

SettingDefault str(const char *key, std::string value)
{
	SettingDefault d{key, SettingType::String, std::move(value)};
	return d;
}

SettingDefault integer(std::string key, long long value)
{
	SettingDefault d{std::move(key), SettingType::Int, {}};
	d.intValue = value;
	return d;
}

SettingDefault boolean(const char *key, bool value)
{
	SettingDefault d{key, SettingType::Bool, {}};
	d.boolValue = value;
	return d;
}

SettingDefault real(const char *key, double value)
{
	SettingDefault d{key, SettingType::Double, {}};
	d.doubleValue = value;
	return d;
}

} // namespace

const std::string &regionKey(int statIndex, RegionField field)
{
	return regionKeys()[size_t(statIndex)][size_t(field)];
}

const std::string &cornerXKey(int corner)
{
	return cornerKeys()[size_t(corner)];
}

const std::string &cornerYKey(int corner)
{
	return cornerKeys()[size_t(corner) + 4];
}

const std::string &defaultApiUrl()
{
	static const std::string url = std::string("https://") + kVendorHost + "/vexmoor/api/live.php";
	return url;
}

const std::vector<SettingDefault> &settingDefaults()
{
	static const std::vector<SettingDefault> defaults = [] {
		std::vector<SettingDefault> d = {
			str(kGame, kGameWarzone),
			str(kApiUrl, defaultApiUrl()),
			str(kToken, ""),
			integer(kEventId, 0),
			integer(kGameNo, 1),
			integer(kGameNoEvent, 0),
			str(kGameNos, "{}"),
			integer(kGameStartNs, 0),
			boolean(kWzMatchLive, false),
			boolean(kWzSawFullLobby, false),
			boolean(kUseWzPreset, true),
			boolean(kSend, true),
			real(kPlatesAngle, 0.0),
			integer(kPlatesQuadN, 0),
		};
		for (int i = 0; i < 4; ++i) {
			d.push_back(integer(cornerXKey(i), 0));
			d.push_back(integer(cornerYKey(i), 0));
		}
		for (int s = 0; s < kStatCount; ++s)
			for (int f = 0; f < 4; ++f)
				d.push_back(integer(regionKey(s, RegionField(f)), 0));
		return d;
	}();
	return defaults;
}

} // namespace ostrelo::settings
