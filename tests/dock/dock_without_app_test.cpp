// A host without a QApplication (a libobs tool, a headless run) loads the module too: the
// dock must be skipped with its warning, since making any widget there aborts the process.

#include "dock/dock_registration.h"
#include "tests/dock/fake_frontend.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

using namespace ostrelo;

TEST(DockWithoutApplication, IsSkippedWithTheWarning)
{
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
	}
}
