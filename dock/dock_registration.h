#pragma once

// The module's part in the dock's life: create it, hand it to the OBS window, take it back.

#include <memory>

class QWidget;

namespace ostrelo {

class FrontendApi;

inline constexpr const char *kDockId = "pell.ostrelo.control.v4";
inline constexpr const char *kDockTitle = "Ostrelo · Studio";

// Creates the dock and registers it. Returns the widget while the front end holds it, or
// nullptr (widget destroyed, warning logged) when it refused or no widget can exist.
QWidget *registerStudioDock(const std::shared_ptr<FrontendApi> &frontend);

// Removes a registered dock from the front end and forgets it; does nothing for nullptr.
void unregisterStudioDock(FrontendApi &frontend, QWidget *&dock);

} // namespace ostrelo
