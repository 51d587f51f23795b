#include "module/module_parts.h"

#include "dock/dock_registration.h"
#include "dock/frontend_api.h"

namespace ostrelo {

namespace {

// Non-null only while the OBS window holds the dock; it owns the widget then.
QWidget *g_dock = nullptr;

} // namespace

void loadStudioDock()
{
	g_dock = registerStudioDock(obsFrontend());
}

void unloadStudioDock()
{
	unregisterStudioDock(*obsFrontend(), g_dock);
}

} // namespace ostrelo
