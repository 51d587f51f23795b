#pragma once

// "Ostrelo · Studio": local OBS controls, the overlay token and the layout installer.

#include "dock/frontend_api.h"
#include "dock/layout_installer.h"

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QVBoxLayout;

namespace ostrelo {

// Where the dock reaches out to. The module takes the defaults; tests point the layout
// endpoint at a loopback server and answer the file dialog themselves.
struct DockOptions {
	QUrl layoutEndpoint;
	QUrl webControlRoom;
	std::function<QString(QWidget *parent, const QString &caption, const QString &filter)> chooseFile;
	std::function<void(const QUrl &)> openUrl;
	ObsFactory obsFactory;

	static DockOptions defaults();
};

// Declares no meta-object of its own: every reaction is a functor on a child's signal. That
// also keeps the root's style sheet background painting, as for a plain QWidget.
class OstreloDock : public QWidget {
public:
	explicit OstreloDock(std::shared_ptr<FrontendApi> frontend, DockOptions options = DockOptions::defaults(),
			     QWidget *parent = nullptr);

	// Status line and scene list from OBS; runs every 1500 ms.
	void refreshStatus();
	void switchToSelectedScene();

	void saveToken();
	void fetchPackList();
	void installLayout();

	void loadCollectionFile();
	void loadCollectionFromPath(const QString &path);

	QLabel *statusLabel() const { return statusLabel_; }
	QComboBox *sceneCombo() const { return sceneCombo_; }
	QLineEdit *tokenEdit() const { return tokenEdit_; }
	QComboBox *packCombo() const { return packCombo_; }
	QComboBox *orientCombo() const { return orientCombo_; }

private:
	void buildUi();
	struct OutputControl {
		bool (FrontendApi::*active)();
		void (FrontendApi::*start)();
		void (FrontendApi::*stop)();
		const char *startText;
		const char *stopText;
		const char *question;
		const char *detail;
	};
	static const OutputControl kStream;
	static const OutputControl kRecording;
	void addOutputRow(QVBoxLayout *root, const OutputControl &output);
	void startOutput(const OutputControl &output);
	void stopOutput(const OutputControl &output);
	void onPackListReply(QNetworkReply *reply);
	void onLayoutReply(QNetworkReply *reply);
	void install(const QJsonObject &collection);
	QNetworkReply *get(const QUrl &url);

	QLabel *statusLabel_ = nullptr;
	QComboBox *sceneCombo_ = nullptr;
	QLineEdit *tokenEdit_ = nullptr;
	QComboBox *packCombo_ = nullptr;
	QComboBox *orientCombo_ = nullptr;
	QNetworkAccessManager *network_ = nullptr;

	std::shared_ptr<FrontendApi> frontend_;
	DockOptions options_;
};

} // namespace ostrelo
