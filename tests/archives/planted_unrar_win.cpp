// A stand-in unrar.dll that ends the process with exit code 77 as soon as it
// is loaded. The tests plant it beside the driver: the module search prefers
// the program's own directory to the current one, so a binding that loaded
// "unrar.dll" by name would run this copy instead of the verified one.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ExitProcess(77);
  return TRUE;
}
