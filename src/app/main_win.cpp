// Entry point of the Windows program (GUI subsystem, no visible window).
#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLineTail, int) {
  return bu::runUpdater(instance, commandLineTail != nullptr ? commandLineTail : "");
}
