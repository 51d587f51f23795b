#pragma once

#include <QString>
#include <QStringList>

#include <memory>

struct obs_source;
typedef struct obs_source obs_source_t;
class QWidget;

namespace ostrelo {

// Everything the dock, the installer and the module ask of the OBS window. The real one
// forwards to obs_frontend_*; tests hand the widget a fake so it runs without OBS.
class FrontendApi {
public:
	virtual ~FrontendApi() = default;

	virtual bool streamingActive() = 0;
	virtual void startStreaming() = 0;
	virtual void stopStreaming() = 0;
	virtual bool recordingActive() = 0;
	virtual void startRecording() = 0;
	virtual void stopRecording() = 0;

	// Names of the scenes in the order the front end lists them; nameless ones left out.
	virtual QStringList sceneNames() = 0;
	// Empty when there is no current scene.
	virtual QString currentSceneName() = 0;
	virtual void setCurrentScene(obs_source_t *scene) = 0;

	// True when the front end took the widget; from then on it owns it.
	virtual bool addDock(const char *id, const char *title, QWidget *widget) = 0;
	virtual void removeDock(const char *id) = 0;
};

// The front end of the running OBS; shared so that a dock outliving the module's own
// statics still has it.
std::shared_ptr<FrontendApi> obsFrontend();

} // namespace ostrelo
