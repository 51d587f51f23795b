#include "dock/frontend_api.h"

#include <obs-frontend-api.h>
#include <obs.h>

#include <QDockWidget>
#include <QHash>
#include <QPointer>
#include <QWidget>

namespace ostrelo {

namespace {

class ObsFrontend final : public FrontendApi {
public:
	bool streamingActive() override { return obs_frontend_streaming_active(); }
	void startStreaming() override { obs_frontend_streaming_start(); }
	void stopStreaming() override { obs_frontend_streaming_stop(); }
	bool recordingActive() override { return obs_frontend_recording_active(); }
	void startRecording() override { obs_frontend_recording_start(); }
	void stopRecording() override { obs_frontend_recording_stop(); }

	QStringList sceneNames() override
	{
		obs_frontend_source_list scenes = {};
		obs_frontend_get_scenes(&scenes);
		QStringList names;
		for (size_t i = 0; i < scenes.sources.num; ++i) {
			obs_source_t *scene = scenes.sources.array[i];
			const char *name = scene ? obs_source_get_name(scene) : nullptr;
			if (name && *name)
				names.append(QString::fromUtf8(name));
		}
		obs_frontend_source_list_free(&scenes);
		return names;
	}

	QString currentSceneName() override
	{
		obs_source_t *scene = obs_frontend_get_current_scene();
		if (!scene)
			return {};
		const QString name = QString::fromUtf8(obs_source_get_name(scene));
		obs_source_release(scene);
		return name;
	}

	void setCurrentScene(obs_source_t *scene) override { obs_frontend_set_current_scene(scene); }

#if LIBOBS_API_MAJOR_VER >= 30
	bool addDock(const char *id, const char *title, QWidget *widget) override
	{
		return obs_frontend_add_dock_by_id(id, title, widget);
	}

	void removeDock(const char *id) override
	{
		obs_frontend_remove_dock(id);
	}
#else
	// Before OBS 30 a plug-in hands over a QDockWidget of its own and has no way to take it
	// back. The main window keeps it in guarded pointers, so deleting it at unload is safe,
	// and it stops the dock's timer before libobs goes away.
	bool addDock(const char *id, const char *title, QWidget *widget) override
	{
		auto *main = static_cast<QWidget *>(obs_frontend_get_main_window());
		auto *wrapper = new QDockWidget(QString::fromUtf8(title), main);
		wrapper->setObjectName(QString::fromUtf8(id));
		wrapper->setWidget(widget);
		if (!obs_frontend_add_dock(wrapper)) {
			// The caller still owns the widget on failure: take it out before the wrapper goes.
			widget->setParent(nullptr);
			delete wrapper;
			return false;
		}
		wrapper->setFloating(true);
		wrapper->setVisible(false);
		wrappers_.insert(QString::fromUtf8(id), wrapper);
		return true;
	}

	void removeDock(const char *id) override
	{
		delete wrappers_.take(QString::fromUtf8(id)).data();
	}

private:
	QHash<QString, QPointer<QDockWidget>> wrappers_;
#endif
};

} // namespace

std::shared_ptr<FrontendApi> obsFrontend()
{
	static const std::shared_ptr<FrontendApi> frontend = std::make_shared<ObsFrontend>();
	return frontend;
}

} // namespace ostrelo
