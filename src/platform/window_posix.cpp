#include "platform/window.h"

namespace bu::platform {

// There are no windows on POSIX; creation always succeeds.
bool createHiddenWindow(ModuleHandle) { return true; }

}  // namespace bu::platform
