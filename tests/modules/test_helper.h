// TestHelper.dll: the library that the helper-linked test module imports, so
// that it loads only when the loader finds this library beside it.
#pragma once

#include "brevant_updater_module.h"

// The helper's one export; any answer will do, the call proves the link.
BU_MODULE_EXPORT int test_helper_answer();
