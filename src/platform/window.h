// The program's hidden main window.
#pragma once

#include "platform/module.h"

namespace bu::platform {

// Registers the window class and creates the window, which is never shown.
// False when the window cannot be created.
bool createHiddenWindow(ModuleHandle instance);

}  // namespace bu::platform
