#include "update/update_checker.h"

#include "common/build_config.h"
#include "common/qt/message_boxes.h"
#include "common/tsan_handoff.h"
#include "update/update_https.h"
#include "update/update_install.h"

#include <obs-module.h>

#include <QApplication>
#include <QDateTime>
#include <QSettings>
#include <QThreadPool>
#include <QTimer>

namespace ostrelo {

namespace {

const char *const kLastCheckKey = "update/lastCheck";
const char *const kSkippedVersionKey = "update/skippedVersion";

// The updater's state sits beside the dock's overlay token.
class UpdateSettings : public QSettings {
public:
	UpdateSettings() : QSettings(QStringLiteral("Pellworth"), QStringLiteral("OstreloOBS")) {}
};

template <typename F>
void postToApplication(F &&call)
{
	// The application object outlives the pool's tasks (it waits for them when it goes),
	// but it is already unset while it waits.
	if (QCoreApplication *app = QCoreApplication::instance())
		QMetaObject::invokeMethod(app, handOff(std::forward<F>(call)), Qt::QueuedConnection);
}

} // namespace

QUrl updateManifestUrl()
{
	QUrl url;
	url.setScheme(QStringLiteral("https"));
	url.setHost(QString::fromLatin1(kVendorHost));
	url.setPath(QString::fromLatin1(kManifestPath));
	return url;
}

bool scheduleUpdateCheck(int delayMs)
{
	// A check ends in a prompt, which only a widget application can show; the dock is skipped
	// alike.
	auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
	if (!app)
		return false;
	QTimer::singleShot(delayMs, app, [] { maybeCheckForUpdate(); });
	return true;
}

void maybeCheckForUpdate()
{
	UpdateSettings settings;
	const qint64 lastCheck = settings.value(QLatin1String(kLastCheckKey), 0).toLongLong();
	if (!isUpdateCheckDue(lastCheck, QDateTime::currentSecsSinceEpoch()))
		return;
	QThreadPool::globalInstance()->start(new UpdateCheckTask);
}

void storeLastCheckTime()
{
	UpdateSettings settings;
	settings.setValue(QLatin1String(kLastCheckKey), QDateTime::currentSecsSinceEpoch());
}

void UpdateCheckTask::run()
{
	QByteArray body;
	QString error;
	const int status = updateHttpsGet(updateManifestUrl(), &body, nullptr, kManifestMaxBytes, &error);
	if (status != 200) {
		// Not a completed check: the next start of OBS tries again.
		blog(LOG_INFO, "Ostrelo update check failed (HTTP %d): %s", status, error.toUtf8().constData());
		return;
	}
	UpdateManifest manifest;
	if (parseUpdateManifest(body.constData(), size_t(body.size()), manifest)) {
		postToApplication([manifest] { promptForUpdate(manifest); });
	} else {
		blog(LOG_WARNING, "Ostrelo update manifest was not valid.");
		postToApplication([] { storeLastCheckTime(); });
	}
}

void promptForUpdate(const UpdateManifest &manifest)
{
	storeLastCheckTime();
	if (!manifest.valid || !isNewerVersion(manifest.version))
		return;
	const QString version = QString::fromStdString(manifest.version);
	{
		UpdateSettings settings;
		if (settings.value(QLatin1String(kSkippedVersionKey)).toString() == version)
			return;
	}
	if (!isAllowedInstallerUrl(manifest.installerUrl) || !isSha256Hex(manifest.sha256))
		return;

	enum { kUpdate, kLater, kSkip };
	MessageBoxContent box;
	box.icon = QMessageBox::Information;
	box.title = QStringLiteral("Ostrelo");
	box.text = QStringLiteral("Ostrelo update available v%1").arg(version);
	box.informativeText = QString::fromStdString(manifest.notes);
	box.customButtons = {{QStringLiteral("Update"), QMessageBox::AcceptRole},
			     {QStringLiteral("Later"), QMessageBox::RejectRole},
			     {QStringLiteral("Skip this version"), QMessageBox::DestructiveRole}};
	box.defaultCustomButton = kLater;
	const MessageBoxAnswer answer = execMessageBox(box);
	if (answer.customIndex == kSkip) {
		UpdateSettings settings;
		settings.setValue(QLatin1String(kSkippedVersionKey), version);
	} else if (answer.customIndex == kUpdate) {
		installUpdate(manifest);
	}
}

} // namespace ostrelo
