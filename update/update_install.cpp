#include "update/update_install.h"

#include "common/qt/message_boxes.h"
#include "common/tsan_handoff.h"
#include "platform/installer_launch.h"
#include "update/update_https.h"

#include <obs-module.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QRunnable>
#include <QThreadPool>
#include <QUrl>

#include <atomic>
#include <memory>
#include <mutex>

namespace ostrelo {

namespace {

std::mutex g_seamMutex;
InstallerLauncher g_launcher;
std::atomic<qint64> g_maxBytes{0};

InstallerLauncher launcher()
{
	std::lock_guard lock(g_seamMutex);
	if (g_launcher)
		return g_launcher;
	return platform::launchInstallerElevated;
}

// What one download shares between installUpdate and its task. Both own it, so a task that
// outlives the waiting call (the application quit meanwhile) writes into live memory.
struct DownloadState {
	std::mutex mutex;
	int status = 0;
	QString error;
	bool done = false;         // status and error are final
	bool abandoned = false;    // installUpdate stopped waiting: the task cleans up after itself
	QPointer<QEventLoop> loop; // touched on the application thread only
};

// The temp file; once nobody waits for the download its writes fail, which ends the transfer
// at the next chunk instead of fetching the rest for nobody.
class DownloadFile : public QFile {
public:
	DownloadFile(const QString &path, std::shared_ptr<DownloadState> state) : QFile(path), state_(std::move(state))
	{
	}

protected:
	qint64 writeData(const char *data, qint64 size) override
	{
		{
			std::lock_guard lock(state_->mutex);
			if (state_->abandoned)
				return -1;
		}
		return QFile::writeData(data, size);
	}

private:
	std::shared_ptr<DownloadState> state_;
};

class DownloadTask : public QRunnable {
public:
	DownloadTask(QString path, UpdateManifest manifest, std::shared_ptr<DownloadState> state, qint64 maxBytes)
	    : path_(std::move(path)), manifest_(std::move(manifest)), state_(std::move(state)), maxBytes_(maxBytes)
	{
	}

	void run() override
	{
		int status = 0;
		QString error;
		DownloadFile file(path_, state_);
		// A new file rather than a truncated one: whatever stood at this name before (an
		// older download, a link planted there) is replaced, never written through.
		if (!path_.isEmpty())
			QFile::remove(path_);
		if (path_.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
			error = QStringLiteral("Could not write the installer to the temp folder.");
		} else {
			const QUrl url(QString::fromStdString(manifest_.installerUrl));
			status = updateHttpsGet(url, nullptr, &file, maxBytes_, &error);
			file.close();
		}

		std::lock_guard lock(state_->mutex);
		if (state_->abandoned) {
			if (!path_.isEmpty())
				QFile::remove(path_);
			return;
		}
		state_->status = status;
		state_->error = error;
		state_->done = true;
		// Posted under the lock: installUpdate either sees done after this post was made, or
		// marked the state abandoned before and nothing is posted.
		if (QCoreApplication *app = QCoreApplication::instance()) {
			QMetaObject::invokeMethod(app, handOff([state = state_] {
							  if (state->loop)
								  state->loop->quit();
						  }),
						  Qt::QueuedConnection);
		}
	}

private:
	QString path_;
	UpdateManifest manifest_;
	std::shared_ptr<DownloadState> state_;
	qint64 maxBytes_;
};

// Feeds the whole held file to the hash, from the handle that stays open until the launch.
bool addHeldFile(QCryptographicHash &hash, platform::HeldFile &held)
{
	QByteArray chunk(64 * 1024, Qt::Uninitialized);
	for (;;) {
		const int64_t n = held.read(chunk.data(), chunk.size());
		if (n < 0)
			return false;
		if (n == 0)
			return true;
		hash.addData(QByteArrayView(chunk.constData(), qsizetype(n)));
	}
}

void discard(platform::HeldFile &held, const QString &path)
{
	held.close();
	QFile::remove(path);
}

} // namespace

void setInstallerLauncherForTests(InstallerLauncher launcher)
{
	std::lock_guard lock(g_seamMutex);
	g_launcher = std::move(launcher);
}

void setInstallerMaxBytesForTests(qint64 maximum)
{
	g_maxBytes = maximum;
}

QString installerTempPath(const std::string &version)
{
	// For a temp folder that does not exist Qt answers an empty path, and the bare name would
	// land in whatever folder OBS runs from.
	const QString folder = QDir::tempPath();
	if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
		return QString();
	return QDir(folder).filePath(QString::fromStdString(installerFileName(version)));
}

void installUpdate(const UpdateManifest &manifest)
{
	const QString path = installerTempPath(manifest.version);
	const qint64 testCap = g_maxBytes.load();
	const qint64 maxBytes = testCap > 0 ? testCap : kInstallerMaxBytes;

	auto state = std::make_shared<DownloadState>();
	QEventLoop loop;
	state->loop = &loop;
	QThreadPool::globalInstance()->start(new DownloadTask(path, manifest, state, maxBytes), 0);
	loop.exec();

	int status = 0;
	QString error;
	{
		std::lock_guard lock(state->mutex);
		if (!state->done) {
			// The loop ended without the task: the application is quitting. The task still
			// owns the file and removes it; there is nobody left to tell.
			state->abandoned = true;
			return;
		}
		status = state->status;
		error = state->error;
	}

	if (status != 200) {
		if (!path.isEmpty())
			QFile::remove(path);
		showWarning(nullptr, error.isEmpty() ? QStringLiteral("The update download failed.") : error);
		return;
	}

	// Held from before the hash until the launch call has returned, so the file that was
	// checked is the file that starts.
	const std::string nativePath = QDir::toNativeSeparators(path).toStdString();
	platform::HeldFile held(nativePath);
	if (!held.isOpen()) {
		discard(held, path);
		showWarning(nullptr, QStringLiteral("The downloaded installer could not be read."));
		return;
	}
	QCryptographicHash hash(QCryptographicHash::Sha256);
	if (!addHeldFile(hash, held)) {
		discard(held, path);
		showWarning(nullptr, QStringLiteral("The downloaded installer could not be checked."));
		return;
	}
	if (hash.result().toHex().compare(QByteArray::fromStdString(manifest.sha256), Qt::CaseInsensitive) != 0) {
		discard(held, path);
		blog(LOG_WARNING, "Ostrelo update: SHA-256 mismatch, installer was not run.");
		showWarning(nullptr,
			    QStringLiteral("The installer did not match the expected checksum. It was not run."));
		return;
	}

	const bool started = launcher()(nativePath);
	held.close();
	if (started) {
		showInformation(nullptr,
				QStringLiteral("Windows may ask for permission. The installer will wait until you "
					       "close OBS, then finish on its own. Your Stat Reader regions and "
					       "other Ostrelo settings are kept."));
	} else {
		showWarning(nullptr, QStringLiteral("The installer did not start. You can run it later from your temp "
						    "folder, or close OBS and try again."));
	}
}

} // namespace ostrelo
