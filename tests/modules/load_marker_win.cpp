// The load marker of a test module: a line in the trace when the DLL is
// attached to the process (its initialisation runs) and when it is detached.
#include <windows.h>

#include "module_trace.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) test_module::trace("load");
  if (reason == DLL_PROCESS_DETACH) test_module::trace("unload");
  return TRUE;
}
