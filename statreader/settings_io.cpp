#include "statreader/settings_io.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace ostrelo {

namespace {

std::string getString(obs_data_t *settings, const char *key)
{
	const char *s = obs_data_get_string(settings, key);
	return s ? std::string(s) : std::string();
}

} // namespace

void setFilterDefaults(obs_data_t *settings)
{
	for (const settings::SettingDefault &d : settings::settingDefaults()) {
		switch (d.type) {
		case settings::SettingType::String:
			obs_data_set_default_string(settings, d.key.c_str(), d.stringValue.c_str());
			break;
		case settings::SettingType::Int:
			obs_data_set_default_int(settings, d.key.c_str(), d.intValue);
			break;
		case settings::SettingType::Bool:
			obs_data_set_default_bool(settings, d.key.c_str(), d.boolValue);
			break;
		case settings::SettingType::Double:
			obs_data_set_default_double(settings, d.key.c_str(), d.doubleValue);
			break;
		}
	}
}

std::optional<int64_t> gameNosEntry(const char *gameNosJson, int32_t eventId)
{
	if (!gameNosJson || !*gameNosJson)
		return std::nullopt;
	QJsonParseError error{};
	const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(gameNosJson), &error);
	if (error.error != QJsonParseError::NoError || !doc.isObject())
		return std::nullopt;
	return doc.object().value(QString::number(eventId)).toInt(0);
}

FilterSettings readFilterSettings(obs_data_t *settings)
{
	namespace k = settings;
	FilterSettings s;
	s.game = getString(settings, k::kGame);
	s.apiUrl = getString(settings, k::kApiUrl);
	s.token = getString(settings, k::kToken);
	s.eventId = obs_data_get_int(settings, k::kEventId);
	s.gameNo = obs_data_get_int(settings, k::kGameNo);
	s.gameNoEvent = obs_data_get_int(settings, k::kGameNoEvent);
	s.gameNosEntry = gameNosEntry(obs_data_get_string(settings, k::kGameNos), int32_t(s.eventId));
	s.gameStartNs = obs_data_get_int(settings, k::kGameStartNs);
	s.matchLive = obs_data_get_bool(settings, k::kWzMatchLive);
	s.sawFullLobby = obs_data_get_bool(settings, k::kWzSawFullLobby);
	s.useWzPreset = obs_data_get_bool(settings, k::kUseWzPreset);
	s.send = obs_data_get_bool(settings, k::kSend);
	for (int i = 0; i < kStatCount; ++i)
		for (int f = 0; f < 4; ++f)
			s.regions[size_t(i)][size_t(f)] =
				obs_data_get_int(settings, k::regionKey(i, k::RegionField(f)).c_str());
	s.platesAngle = obs_data_get_double(settings, k::kPlatesAngle);
	s.platesQuadN = obs_data_get_int(settings, k::kPlatesQuadN);
	for (int i = 0; i < 4; ++i) {
		s.qx[size_t(i)] = obs_data_get_int(settings, k::cornerXKey(i).c_str());
		s.qy[size_t(i)] = obs_data_get_int(settings, k::cornerYKey(i).c_str());
	}
	return s;
}

} // namespace ostrelo
