// What the full run and the single-update extraction share of the work on
// one entry: the lines of a product that is not installed, and the loading
// of the UnRAR library for the entry.
#pragma once

#include "modules/entry_modules.h"
#include "modules/unrar_binding.h"

namespace bu {

// "The product ... is not installed on the system." after a module's
// registry read failed.
void logProductNotInstalled();

// loadUnrar for the entry whose modules are `modules`. When the library
// cannot be used (111, 118) the line that ends all work is logged and the
// binding, then the modules, are released; the code is answered either way.
int loadUnrarForEntry(UnrarBinding& binding, EntryModules& modules);

}  // namespace bu
