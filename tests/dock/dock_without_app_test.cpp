// A host without a QApplication (a libobs tool, a headless run) loads the module too: the
// dock must be skipped with its warning, the update check not scheduled, and a prompt that
// comes anyway must make no box, since making any widget there aborts the process.

#include "common/build_config.h"
#include "common/qt/message_boxes.h"
#include "dock/dock_registration.h"
#include "tests/dock/fake_frontend.h"
#include "tests/support/log_capture.h"
#include "update/update_checker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

using namespace ostrelo;

TEST(WithoutWidgetApplication, DockAndUpdaterStandDown)
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
		char name[] = "dock_without_app_test";
		char *argv[] = {name, nullptr};
		std::unique_ptr<QCoreApplication> app;
		if (withCoreApp)
			app = std::make_unique<QCoreApplication>(argc, argv);
		test::LogCapture log;
		auto frontend = std::make_shared<test::FakeFrontend>();
		EXPECT_EQ(registerStudioDock(frontend), nullptr);
		EXPECT_TRUE(frontend->addedDocks.isEmpty());
		EXPECT_EQ(log.count("Ostrelo OBS dock could not be registered", LOG_WARNING), 1);

		EXPECT_FALSE(scheduleUpdateCheck(0)) << withCoreApp;
		promptForUpdate(offer);
		MessageBoxContent question;
		question.standardButtons = QMessageBox::Yes | QMessageBox::No;
		EXPECT_EQ(execMessageBox(question).standard, QMessageBox::NoButton) << "as if closed";
	}
}
