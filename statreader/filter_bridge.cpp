// The filter's links to the application (UI) thread: every call from the graphics thread or a
// button is a functor posted to the application object. Those that touch the filter take its
// lifetime lock and do nothing once destroy has begun.

#include "align/vx_align_window.h"
#include "common/tsan_handoff.h"
#include "live/vx_live_client.h"
#include "statreader/numbering_io.h"
#include "statreader/stat_reader_filter.h"
#include "statreader/update_json.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QThread>

namespace ostrelo {

namespace {

void moveToUiThread(QObject *object)
{
	QCoreApplication *app = QCoreApplication::instance();
	if (app && QThread::currentThread() != app->thread())
		object->moveToThread(app->thread());
}

// The live client reports to the filter here (UI thread).
void onLiveFinished(const FilterRef &ref, const QString &status)
{
	StatReaderFilter &f = *ref;
	std::lock_guard life(f.lifetimeMutex);
	if (!f.alive)
		return;
	f.shared.with([&](StatReaderState &s) { s.statusText = status.toStdString(); });
	postPropertiesRefresh(ref);
}

void onUpdateAnswered(const FilterRef &ref, int sentGameNo, int siteGameNo)
{
	StatReaderFilter &f = *ref;
	std::lock_guard life(f.lifetimeMutex);
	if (!f.alive || siteGameNo < 1)
		return;
	f.shared.with([&](StatReaderState &s) {
		// An answer speaks for the game its update named: one still on its way when the user
		// started the next game would take the filter back. Compared as it would be adopted
		// (capped at 999), so a number above the cap does not reset tracking after every send.
		if (sentGameNo == s.gameNo && std::min(siteGameNo, 999) != s.gameNo)
			f.pendingSiteGameNo.exchange(siteGameNo);
	});
}

} // namespace

void postToUi(std::function<void()> fn)
{
	QCoreApplication *app = QCoreApplication::instance();
	if (!app)
		return;
	// Built here, run there: the hand-off tells ThreadSanitizer what Qt's queue orders.
	QMetaObject::invokeMethod(app, handOff(std::move(fn)), Qt::QueuedConnection);
}

void postIfAlive(const FilterRef &ref, std::function<void(StatReaderFilter &)> fn)
{
	postToUi([ref, fn = std::move(fn)] {
		std::lock_guard life(ref->lifetimeMutex);
		if (ref->alive)
			fn(*ref);
	});
}

void ensureDispatch(StatReaderFilter &f)
{
	if (f.dispatch)
		return;
	f.dispatch = new QObject();
	moveToUiThread(f.dispatch);
}

void ensureLiveClient(const FilterRef &ref)
{
	StatReaderFilter &f = *ref;
	ensureDispatch(f);
	if (f.client)
		return;
	f.client = new VxLiveClient();
	moveToUiThread(f.client);
	// The handler holds the record, not the filter's source: it checks alive first.
	QObject::connect(
		f.client, &VxLiveClient::finished, f.client,
		[ref](bool, const QString &status, int) { onLiveFinished(ref, status); }, Qt::QueuedConnection);
	QObject::connect(
		f.client, &VxLiveClient::updateAnswered, f.client,
		[ref](int sentGameNo, int siteGameNo) { onUpdateAnswered(ref, sentGameNo, siteGameNo); },
		Qt::QueuedConnection);
}

void postPropertiesRefresh(const FilterRef &ref)
{
	postIfAlive(ref, [](StatReaderFilter &f) { obs_source_update_properties(f.source); });
}

void postSend(const FilterRef &ref, PendingSend send)
{
	// Sends carry copies and no alive check: an update assembled before destroy still goes
	// out, since the client is taken down only by the teardown queued after it.
	postToUi([ref, send = std::move(send)] {
		StatReaderFilter &f = *ref;
		if (f.alive)
			ensureLiveClient(ref);
		if (!f.client)
			return;
		f.client->sendUpdate(QString::fromStdString(send.apiUrl), QString::fromStdString(send.token),
				     send.eventId, updateFieldsToJson(send.fields), send.gameNo);
	});
}

void postTestConnection(const FilterRef &ref)
{
	const FilterConfig config = ref->shared.with([](StatReaderState &s) { return s.config; });
	postToUi([ref, url = config.apiUrl, token = config.token, eventId = config.eventId] {
		if (ref->alive)
			ensureLiveClient(ref);
		if (ref->client)
			ref->client->testConnection(QString::fromStdString(url), QString::fromStdString(token),
						    eventId);
	});
}

void writeNumbering(StatReaderFilter &f)
{
	// Under the state lock, so update (which reads the settings under it too) sees either
	// the settings before this write and the unsaved mark, or the settings after it.
	f.shared.with([&](StatReaderState &s) {
		saveNumbering(f.source, numberingOf(s));
		s.numberingUnsaved = false;
		s.unsavedGameNos.clear();
	});
}

void postNumberingSave(const FilterRef &ref)
{
	ref->shared.with([](StatReaderState &s) { s.numberingUnsaved = true; });
	// Settings objects are not locked; the UI thread is where OBS itself reads and saves them.
	postIfAlive(ref, [](StatReaderFilter &f) { writeNumbering(f); });
}

void postOpenAlignWindow(const FilterRef &ref)
{
	postIfAlive(ref, [ref](StatReaderFilter &f) {
		if (!f.alignWindow) {
			auto *window = new VxAlignWindow(f.source);
			window->setAttribute(Qt::WA_DeleteOnClose);
			f.alignWindow = window;
			ensureDispatch(f);
			QObject::connect(window, &VxAlignWindow::snapshotRequested, f.dispatch, [ref] {
				if (ref->alive)
					ref->snapshotRequested.store(true);
			});
		}
		f.alignWindow->show();
		f.alignWindow->raise();
		f.alignWindow->activateWindow();

		FrameSnapshot copy;
		{
			std::lock_guard lock(f.snapshotMutex);
			copy = f.snapshot;
		}
		if (copy.width > 0 && copy.height > 0 && f.alignWindow)
			f.alignWindow->setSnapshot(copy.width, copy.height, std::move(copy.pixels));
		f.snapshotRequested.store(true);
	});
}

void postSnapshotHandOff(const FilterRef &ref)
{
	if (ref->destroying)
		return;
	FrameSnapshot copy;
	{
		std::lock_guard lock(ref->snapshotMutex);
		copy = ref->snapshot;
	}
	if (copy.width < 1 || copy.height < 1 || copy.pixels.empty())
		return;
	// The window reference is resolved on the UI thread, where the window may close itself.
	postIfAlive(ref, [copy = std::move(copy)](StatReaderFilter &f) mutable {
		if (f.alignWindow)
			f.alignWindow->setSnapshot(copy.width, copy.height, std::move(copy.pixels));
	});
}

void teardownUiSide(const FilterRef &ref)
{
	if (!QCoreApplication::instance()) {
		// No event loop will ever run a deleteLater: take the objects down now.
		StatReaderFilter &f = *ref;
		delete f.alignWindow.data();
		delete f.client;
		delete f.dispatch;
		f.client = nullptr;
		f.dispatch = nullptr;
		return;
	}
	// Queued behind every call posted before destroy, so sends already on their way still
	// find their client.
	postToUi([ref] {
		StatReaderFilter &f = *ref;
		if (VxAlignWindow *window = f.alignWindow.data()) {
			f.alignWindow.clear();
			QObject::disconnect(window, nullptr, nullptr, nullptr);
			window->close();
			window->deleteLater();
		}
		if (f.client) {
			f.client->deleteLater();
			f.client = nullptr;
		}
		if (f.dispatch) {
			f.dispatch->deleteLater();
			f.dispatch = nullptr;
		}
	});
}

} // namespace ostrelo
