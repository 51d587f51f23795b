#include "dock/layout_fetch.h"

#include "common/build_config.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

#include <algorithm>

namespace ostrelo {

namespace {

QUrl vendorUrl(const char *path)
{
	QUrl url;
	url.setScheme(QStringLiteral("https"));
	url.setHost(QString::fromUtf8(kVendorHost));
	url.setPath(QString::fromUtf8(path));
	return url;
}

QUrl withQuery(const QUrl &endpoint, const QUrlQuery &query)
{
	QUrl url = endpoint;
	url.setQuery(query);
	return url;
}

} // namespace

QUrl defaultLayoutEndpoint()
{
	return vendorUrl("/app/api/studio-obs-layout.php");
}

QUrl webControlRoomUrl()
{
	return vendorUrl("/ostrelo/");
}

QString extractOverlayToken(const QString &text)
{
	const QString trimmed = text.trimmed();
	if (trimmed.contains(QLatin1String("token="))) {
		const QUrlQuery query(QUrl(trimmed, QUrl::TolerantMode));
		const QString token = query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
		if (!token.isEmpty())
			return token;
	}
	return trimmed;
}

bool tokenHoldsControlCharacter(const QString &token)
{
	return std::any_of(token.begin(), token.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

QUrl packListUrl(const QUrl &endpoint, const QString &token)
{
	QUrlQuery query;
	query.addQueryItem(QStringLiteral("token"), token);
	query.addQueryItem(QStringLiteral("list"), QStringLiteral("1"));
	return withQuery(endpoint, query);
}

QUrl collectionUrl(const QUrl &endpoint, const QString &token, const QString &orientation, const QString &packId)
{
	QUrlQuery query;
	query.addQueryItem(QStringLiteral("token"), token);
	query.addQueryItem(QStringLiteral("orient"), orientation);
	if (!packId.isEmpty())
		query.addQueryItem(QStringLiteral("pack"), packId);
	return withQuery(endpoint, query);
}

QJsonObject parseJsonObject(const QByteArray &body)
{
	return QJsonDocument::fromJson(body).object();
}

std::optional<QList<PackEntry>> parsePackList(const QByteArray &body)
{
	const QJsonArray packs = parseJsonObject(body).value(QLatin1String("packs")).toArray();
	if (packs.isEmpty())
		return std::nullopt;
	QList<PackEntry> entries;
	entries.reserve(packs.size());
	for (const QJsonValue &pack : packs) {
		const QJsonObject object = pack.toObject();
		const QJsonValue name = object.value(QLatin1String("name"));
		entries.append({object.value(QLatin1String("id")).toString(),
				name.isString() ? name.toString() : QStringLiteral("Pack")});
	}
	return entries;
}

bool isSceneCollection(const QJsonObject &object)
{
	return object.contains(QLatin1String("sources")) && object.contains(QLatin1String("scene_order"));
}

QString layoutReplyProblem(const QJsonObject &object)
{
	const QString error = object.value(QLatin1String("error")).toString();
	return error.isEmpty() ? QStringLiteral("The server did not return a valid OBS collection.") : error;
}

} // namespace ostrelo
