// The program's start: hidden window, banner, texts, command line, the
// 64-bit hand-over, then the selected mode.
#pragma once

#include "platform/module.h"

namespace bu {

// The program's own instance, kept for the process's lifetime.
extern platform::ModuleHandle programInstance;

// Returns the process exit code.
int runUpdater(platform::ModuleHandle instance, const char* commandLineTail);

}  // namespace bu
