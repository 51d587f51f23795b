#pragma once

// Stand-in screens: our own 1920 x 1080 renderings of the game screens the HUD templates are
// cut from, for as long as no captures of the game itself are at hand. Each carries the
// screen's fixed texts in a bold condensed sans at the place and size the classifier expects.

#include <QImage>
#include <QString>
#include <QStringList>

namespace ostrelo::hudtemplates {

// File names of the stand-in screens ("after-action.png", ...), and the one a template is
// cut from.
QStringList standInScreenFiles();
QString standInScreenFile(int templateId);

// The font the stand-ins are drawn with (Debian's fonts-roboto-unhinted).
QString defaultStandInFont();

// Renders the screen stored under this file name; a null image and a message in *error when
// the font cannot be loaded or the name is unknown. Needs a QGuiApplication.
QImage renderStandInScreen(const QString &file, const QString &fontFile, QString *error);

} // namespace ostrelo::hudtemplates
