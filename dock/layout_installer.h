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

// How the installer creates OBS objects and asks for names. libobs hardly ever refuses, so tests
// make these fail on purpose to walk the failure paths, and count the name look-ups.
struct ObsFactory {
	std::function<obs_source_t *(const char *id, const char *name, obs_data_t *settings)> createSource;
	std::function<obs_scene_t *(const char *name)> createScene;
	std::function<bool(const char *name)> nameTaken; // an OBS source bears this name
};

ObsFactory libobsFactory();

// The wanted name (cut at its first control character) when no OBS source bears it, else the
// name (or "Source") with " 2", " 3", ...; empty when none of the first 10,000 numbers is free.
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
