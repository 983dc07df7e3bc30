// The entry through which the component shows its settings dialog: it
// creates the Qt application object when the host has none (on the calling
// thread, and only where a display can be opened), puts the Qt user
// interaction in place for the dialog's life when the current one cannot
// answer for a window, and runs the dialog on the caller's configurations.
#pragma once

#include <optional>

#include "platform/UserInteraction.h"

namespace qx6::dialog {

// True when a Qt application exists or a display (or a Qt platform) is named.
bool CanShowWindows();

// No value when no dialog can be shown (no display, no configurations).
std::optional<bool> ShowSettingsDialog(platform::SettingsDialogRequest& request);

// Makes ShowSettingsDialog the process's settings-dialog entry.
void InstallSettingsDialogEntry();

}  // namespace qx6::dialog
