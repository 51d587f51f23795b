#pragma once

// Stand-in for the updater's header in the cross-compiled check of the module's exports.
namespace ostrelo {
bool scheduleUpdateCheck(int delayMs = 8000);
} // namespace ostrelo
