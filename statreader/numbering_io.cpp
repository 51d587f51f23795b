#include "statreader/numbering_io.h"

#include "statreader/settings_keys.h"

#include <obs.hpp>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace ostrelo {

std::string mergeGameNos(const char *gameNosJson, int32_t eventId, int32_t gameNo)
{
	QJsonObject object;
	if (gameNosJson && *gameNosJson) {
		const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(gameNosJson));
		if (doc.isObject())
			object = doc.object();
	}
	if (eventId > 0)
		object.insert(QString::number(eventId), gameNo);
	// QJsonObject keeps its keys sorted, so the text comes out in ascending key order.
	return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

void saveNumbering(obs_source_t *source, const NumberingValues &v)
{
	namespace k = settings;
	OBSDataAutoRelease s = obs_source_get_settings(source);
	if (!s)
		return;
	obs_data_set_int(s, k::kGameNo, v.gameNo);
	obs_data_set_int(s, k::kGameNoEvent, v.eventId);
	std::string gameNos = obs_data_get_string(s, k::kGameNos);
	for (const auto &[eventId, gameNo] : v.earlierEvents)
		gameNos = mergeGameNos(gameNos.c_str(), eventId, gameNo);
	gameNos = mergeGameNos(gameNos.c_str(), v.eventId, v.gameNo);
	obs_data_set_string(s, k::kGameNos, gameNos.c_str());
	obs_data_set_int(s, k::kGameStartNs, (long long)v.gameStartNs);
	obs_data_set_bool(s, k::kWzMatchLive, v.matchLive);
	obs_data_set_bool(s, k::kWzSawFullLobby, v.sawFullLobby);
}

} // namespace ostrelo
