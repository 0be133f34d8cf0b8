#include "platform/path_rules.h"

namespace bu::platform {

std::wstring storedDestinationPath(const std::wstring& path) { return path; }

bool isAbsoluteDestinationPath(const std::wstring& path) {
  return !path.empty() && path[0] == L'/';
}

}  // namespace bu::platform
