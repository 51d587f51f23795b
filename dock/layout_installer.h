#pragma once

// Builds the scenes and sources of a scene collection in the collection open in OBS. It
// only adds: existing scenes and sources are never changed, clashing names get a number.

#include <obs.h>

#include <QJsonObject>
#include <QString>

#include <functional>

class QWidget;

namespace ostrelo {

class FrontendApi;

// How the installer creates OBS objects. libobs hardly ever refuses, so tests make these
// fail on purpose to walk the failure paths.
struct ObsFactory {
	std::function<obs_source_t *(const char *id, const char *name, obs_data_t *settings)> createSource;
	std::function<obs_scene_t *(const char *name)> createScene;
};

ObsFactory libobsFactory();

// The wanted name when no OBS source bears it, else the name (or "Source") with " 2", " 3", ...
QString uniqueSourceName(const QString &wanted);

// New settings data for a source of this type, owned by the caller: the browser settings
// for "browser_source", empty for every other type.
obs_data_t *browserSourceSettings(const QString &typeId, const QJsonObject &settings);

// The OBS name of the first scene created, or an empty string with the error set.
QString buildCollection(const QJsonObject &collection, QString &error, FrontendApi &frontend,
			const ObsFactory &factory = libobsFactory());

// Runs buildCollection and tells the user how it went; true when it installed.
bool installCollection(QWidget *parent, const QJsonObject &collection, FrontendApi &frontend,
		       const ObsFactory &factory = libobsFactory());

} // namespace ostrelo
