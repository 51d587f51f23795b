// A host without a widget application (a libobs tool, a headless run, a QCoreApplication only)
// loads the module too. The update check must not be scheduled there, and a prompt that comes
// anyway must not make a widget: that aborts the whole process.

#include "common/build_config.h"
#include "common/qt/message_boxes.h"
#include "update/update_checker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

using namespace ostrelo;

TEST(UpdateWithoutWidgets, NoCheckScheduledAndNoBoxMade)
{
	QTemporaryDir settings;
	QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
	UpdateManifest offer;
	offer.version = "99.0";
	offer.installerUrl = std::string("https://") + kVendorHost + "/downloads/Setup.exe";
	offer.sha256 = std::string(64, 'a');
	offer.valid = true;
	for (const bool withCoreApp : {false, true}) {
		int argc = 1;
		char name[] = "update_without_app_test";
		char *argv[] = {name, nullptr};
		std::unique_ptr<QCoreApplication> app;
		if (withCoreApp)
			app = std::make_unique<QCoreApplication>(argc, argv);
		EXPECT_FALSE(scheduleUpdateCheck(0)) << withCoreApp;
		promptForUpdate(offer);
		MessageBoxContent question;
		question.standardButtons = QMessageBox::Yes | QMessageBox::No;
		const MessageBoxAnswer answer = execMessageBox(question);
		EXPECT_EQ(answer.standard, QMessageBox::NoButton) << "as if closed";
		EXPECT_FALSE(QSettings("Pellworth", "OstreloOBS").contains("update/skippedVersion"));
	}
}
