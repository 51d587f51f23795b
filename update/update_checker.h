#pragma once

#include "update/update_rules.h"

#include <QRunnable>
#include <QUrl>

// The daily update check and the prompt. The check runs on the global thread pool; the
// settings and the prompt live on the application thread.
namespace ostrelo {

// Module load: after delayMs, on the application object, runs maybeCheckForUpdate once.
// False, and nothing scheduled, when there is no widget application (QApplication).
bool scheduleUpdateCheck(int delayMs = kFirstUpdateCheckDelayMs);

// Starts an UpdateCheckTask when more than a day has passed since the last completed check.
void maybeCheckForUpdate();

// Stores now as the time of the last completed check.
void storeLastCheckTime();

// Asks the user about a newer, not skipped, acceptable offer; "Update" runs installUpdate.
// Stores the check time first, whatever follows.
void promptForUpdate(const UpdateManifest &manifest);

// https://<vendor host>/downloads/obs-plugin/latest.json
QUrl updateManifestUrl();

// Fetches the manifest and posts the outcome to the application thread.
class UpdateCheckTask : public QRunnable {
public:
	void run() override;
};

} // namespace ostrelo
