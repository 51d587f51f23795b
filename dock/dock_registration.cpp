#include "dock/dock_registration.h"

#include "common/build_config.h"
#include "dock/frontend_api.h"
#include "dock/ostrelo_dock.h"

#include <obs.h>

#include <QApplication>

namespace ostrelo {

QWidget *registerStudioDock(const std::shared_ptr<FrontendApi> &frontend)
{
	// A widget without a QApplication aborts the whole process; a host without one gets no dock.
	auto *dock = qobject_cast<QApplication *>(QCoreApplication::instance()) ? new OstreloDock(frontend) : nullptr;
	if (dock && frontend->addDock(kDockId, kDockTitle, dock)) {
		blog(LOG_INFO, "Ostrelo OBS loaded (v%s)", kVersion);
		return dock;
	}
	delete dock;
	blog(LOG_WARNING, "Ostrelo OBS dock could not be registered");
	return nullptr;
}

void unregisterStudioDock(FrontendApi &frontend, QWidget *&dock)
{
	if (!dock)
		return;
	frontend.removeDock(kDockId);
	dock = nullptr;
}

} // namespace ostrelo
