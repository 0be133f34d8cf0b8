// Entry point of the Windows program (GUI subsystem, no visible window).
#include <windows.h>

#include "app/startup.h"
#include "platform/code_module.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLineTail, int) {
  // First of all: a package is unpacked into a download or temporary
  // folder, the classic place for planted DLLs.
  bu::platform::restrictDllSearchToSystemDirectory();
  return bu::runUpdater(instance, commandLineTail != nullptr ? commandLineTail : "");
}
