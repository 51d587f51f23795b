// What the entry file calls inside the module, in the cross-compiled check of its exports:
// each call is noted in the stand-in obs.dll, where the check reads them back.

#include "module/module_parts.h"

#include "obs_stub.h"

#include <string>

namespace ostrelo {

void registerStatReaderFilter()
{
	obs_stub_note("register filter");
}

void loadStudioDock()
{
	obs_stub_note("load dock");
}

void unloadStudioDock()
{
	obs_stub_note("unload dock");
}

bool scheduleUpdateCheck(int delayMs)
{
	obs_stub_note(("schedule update check " + std::to_string(delayMs)).c_str());
	return true;
}

} // namespace ostrelo
