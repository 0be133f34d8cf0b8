// The load marker of a test module: a line in the trace when the shared
// object is mapped (its constructors run) and when it is unmapped.
#include "module_trace.h"

namespace {

__attribute__((constructor)) void loaded() { test_module::trace("load"); }
__attribute__((destructor)) void unloaded() { test_module::trace("unload"); }

}  // namespace
