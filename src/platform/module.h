// Opaque handle of a loaded module: the program's own instance, or a module
// loaded at run time. Null means none.
#pragma once

namespace bu::platform {

using ModuleHandle = void*;

}  // namespace bu::platform
