// Where the Windows loader looks for a DLL named without a path: the DLLs
// that system libraries load by name, and the dependencies of the modules the
// program loads by full path.
#pragma once

#include <windows.h>

#include "platform/code_module.h"

namespace bu::platform {

// The LoadLibraryExW flags for a module loaded by full path whose
// dependencies may come from where `dependencies` says. Loaders without the
// search flags have only the search that starts in the module's directory,
// which then serves both.
DWORD fullPathLoadFlags(ModuleDependencies dependencies);

}  // namespace bu::platform
