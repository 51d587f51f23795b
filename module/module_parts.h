#pragma once

// What the entry points register, declared without Qt or libobs types so that the entry
// file builds on its own (the cross-compiled export check builds it against stand-ins).
namespace ostrelo {

// The "Vexmoor Stat Reader" filter type.
void registerStatReaderFilter();

// Creates the "Ostrelo · Studio" dock and hands it to the OBS window; a refused dock is
// destroyed and logged. unloadStudioDock removes a registered dock again.
void loadStudioDock();
void unloadStudioDock();

// The deferred update check on the application object; false when there is no application.
bool scheduleUpdateCheck(int delayMs);

} // namespace ostrelo
