#pragma once

#include "update/update_rules.h"

#include <QString>

#include <functional>
#include <string>

// Download, verification and launch of the installer the user agreed to.
namespace ostrelo {

// Downloads the manifest's installer into the temp folder, checks its SHA-256 and starts it
// elevated, telling the user how it went. Main thread; returns when the attempt has ended
// (or, without a word, when the application quits while the download still runs).
void installUpdate(const UpdateManifest &manifest);

// Where the installer for version is downloaded: a file directly inside the temp folder;
// empty when there is no usable temp folder.
QString installerTempPath(const std::string &version);

// Tests replace the launch of the checked installer (path with native separators; true when
// it started); an empty function restores the platform's.
using InstallerLauncher = std::function<bool(const std::string &nativePath)>;
void setInstallerLauncherForTests(InstallerLauncher launcher);

// Tests lower the download cap to reach it quickly; 0 restores kInstallerMaxBytes.
void setInstallerMaxBytesForTests(qint64 maximum);

} // namespace ostrelo
