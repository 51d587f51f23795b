#pragma once

// The parsing half of the layout installer: a scene-collection object turned into plain
// records, every value typed and defaulted, before anything is created in OBS.

#include <QJsonObject>
#include <QList>
#include <QString>

namespace ostrelo {

struct InputRecord {
	QString name;    // the name items use in the file
	QString obsName; // the name asked of OBS, before numbering
	QString typeId;
	QJsonObject settings;
};

struct ItemPlan {
	QString sourceName; // by its name in the file
	float posX = 0.0f;
	float posY = 0.0f;
	float scaleX = 1.0f;
	float scaleY = 1.0f;
	int cropLeft = 0;
	int cropTop = 0;
	int cropRight = 0;
	int cropBottom = 0;
	float rotation = 0.0f; // degrees
	bool visible = true;
	bool locked = false;
};

struct ScenePlan {
	QString name; // the name asked of OBS, before numbering
	QList<ItemPlan> items;
};

struct CollectionPlan {
	bool hasSources = false; // "sources" is a non-empty array
	QList<InputRecord> inputs;
	QList<ScenePlan> scenes;
};

CollectionPlan planCollection(const QJsonObject &collection);

// The wanted name up to its first control character. OBS keeps names as C strings, so all after
// a NUL would be lost on the way anyway, and a line break or an escape has no place in a list of
// sources.
QString obsNameOf(const QString &wanted);

// The browser settings a "browser_source" record asks for, each converted with its default.
struct BrowserSettings {
	QString url;
	int width = 800;
	int height = 600;
	int fps = 30;
	bool fpsCustom = true;
	QString css; // written only when not empty
	bool shutdown = true;
	bool restartWhenActive = false;
	bool rerouteAudio = false;
};

BrowserSettings readBrowserSettings(const QJsonObject &settings);

inline constexpr const char *kBrowserSourceId = "browser_source";

// The success text of an installation: the first scene's OBS name and the canvas note.
QString installedMessage(const QString &firstScene, const QJsonObject &collection);

} // namespace ostrelo
