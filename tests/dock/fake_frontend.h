#pragma once

// A front end for tests: outputs and scenes are plain fields, every call is counted.
// With libobs running it can also keep the scenes that get created alive, the way the
// OBS window does by holding every scene it lists.

#include "dock/frontend_api.h"

#include <obs.hpp>

#include <QString>
#include <QStringList>

#include <vector>

namespace ostrelo::test {

class FakeFrontend final : public FrontendApi {
public:
	bool streaming = false;
	bool recording = false;
	QStringList scenes;
	QString current;
	QStringList madeCurrent; // names handed to setCurrentScene, in order
	int streamStarts = 0, streamStops = 0, recordStarts = 0, recordStops = 0;
	bool acceptDock = true;
	QStringList addedDocks, removedDocks;
	QWidget *dockWidget = nullptr;

	~FakeFrontend() override { stopHoldingScenes(); }

	bool streamingActive() override { return streaming; }
	void startStreaming() override { ++streamStarts, streaming = true; }
	void stopStreaming() override { ++streamStops, streaming = false; }
	bool recordingActive() override { return recording; }
	void startRecording() override { ++recordStarts, recording = true; }
	void stopRecording() override { ++recordStops, recording = false; }

	QStringList sceneNames() override
	{
		QStringList names = scenes;
		for (const OBSSource &scene : held_)
			names.append(QString::fromUtf8(obs_source_get_name(scene)));
		return names;
	}
	QString currentSceneName() override { return current; }
	void setCurrentScene(obs_source_t *scene) override
	{
		current = QString::fromUtf8(obs_source_get_name(scene));
		madeCurrent.append(current);
	}

	bool addDock(const char *id, const char *title, QWidget *widget) override
	{
		addedDocks.append(QString::fromUtf8(id) + QLatin1Char('|') + QString::fromUtf8(title));
		if (acceptDock)
			dockWidget = widget;
		return acceptDock;
	}
	void removeDock(const char *id) override { removedDocks.append(QString::fromUtf8(id)); }

	// Takes a reference to every scene created from now on (needs libobs running).
	void holdCreatedScenes()
	{
		signal_handler_connect(obs_get_signal_handler(), "source_create", &FakeFrontend::onSourceCreate, this);
		holding_ = true;
	}

	// Lets the held scenes go; with nothing else holding them they leave OBS.
	void stopHoldingScenes()
	{
		if (holding_)
			signal_handler_disconnect(obs_get_signal_handler(), "source_create",
						  &FakeFrontend::onSourceCreate, this);
		holding_ = false;
		held_.clear();
	}

private:
	static void onSourceCreate(void *data, calldata_t *params)
	{
		auto *source = static_cast<obs_source_t *>(calldata_ptr(params, "source"));
		if (obs_source_get_type(source) == OBS_SOURCE_TYPE_SCENE)
			static_cast<FakeFrontend *>(data)->held_.emplace_back(source);
	}

	bool holding_ = false;
	std::vector<OBSSource> held_;
};

} // namespace ostrelo::test
