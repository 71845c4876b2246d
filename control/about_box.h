// The About box: dialog template 1, modal, no owner, closed by OK, Enter,
// Esc or its close box.
#pragma once

#include <windows.h>

namespace orvanta::ui {

// Returns once the box is closed, or at once when it cannot be created.
void ShowAboutBox(HINSTANCE instance);

}  // namespace orvanta::ui
