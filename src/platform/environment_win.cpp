#include "platform/environment.h"

#include <windows.h>

#include <vector>

namespace bu::platform {

std::optional<std::string> environmentVariable(const char* name) {
  // An empty value returns 0 just like a missing one; only the last error
  // tells them apart, so it is cleared first.
  SetLastError(0);
  DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  for (;;) {
    std::vector<char> buffer(size);
    const DWORD length = GetEnvironmentVariableA(name, buffer.data(), size);
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < size) return std::string(buffer.data(), length);
    size = length;  // the value grew between the two calls
  }
}

}  // namespace bu::platform
