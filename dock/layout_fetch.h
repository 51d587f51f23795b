#pragma once

// The overlay token and the layout endpoint's requests and replies, without widgets or OBS.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace ostrelo {

// This endpoint has always been asked with this agent; the service keys on it.
inline constexpr const char *kLayoutUserAgent = "Ostrelo-OBS/4.2.2";

// https://<vendor host>/app/api/studio-obs-layout.php
QUrl defaultLayoutEndpoint();
// https://<vendor host>/ostrelo/
QUrl webControlRoomUrl();

// The token inside whatever the user pasted: the bare token, or a Browser Source URL that
// carries it as the "token" query item.
QString extractOverlayToken(const QString &text);

// A token with a control character (a line break pasted along, or one decoded from a URL)
// is not a token: it is neither stored nor sent.
bool tokenHoldsControlCharacter(const QString &token);

QUrl packListUrl(const QUrl &endpoint, const QString &token);
// The pack item is left out for an empty pack id ("This overlay").
QUrl collectionUrl(const QUrl &endpoint, const QString &token, const QString &orientation, const QString &packId);

struct PackEntry {
	QString id;
	QString name;
};

// The packs of a list reply; nothing when the body has no non-empty "packs" array.
std::optional<QList<PackEntry>> parsePackList(const QByteArray &body);

// No collection is larger: replies and files beyond it are refused before they fill memory.
inline constexpr qint64 kMaxCollectionBytes = 16 * 1024 * 1024;

// The object of a reply or file body; an empty object when it is not a JSON object.
QJsonObject parseJsonObject(const QByteArray &body);

// A scene collection carries both "sources" and "scene_order".
bool isSceneCollection(const QJsonObject &object);

// What the user reads when a 2xx reply holds no collection.
QString layoutReplyProblem(const QJsonObject &object);

} // namespace ostrelo
