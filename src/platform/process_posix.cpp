// A POSIX process is never a 32-bit program on a 64-bit system in the
// Windows sense, so the 64-bit hand-over never happens on this port.
#include "platform/process.h"

namespace bu::platform {

bool isWow64Process() { return false; }

bool isImage64Bit(const std::wstring&) { return false; }

ProcessRun runAndWait(const std::wstring&, const std::wstring&, unsigned&) {
  return ProcessRun::NotStarted;
}

}  // namespace bu::platform
