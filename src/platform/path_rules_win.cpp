#include "platform/path_rules.h"

#include "config/ascii_case.h"

namespace bu::platform {

std::wstring storedDestinationPath(const std::wstring& path) { return lowerCasedAscii(path); }

// The whole test: "d:" and "d:dir" pass; UNC and rooted paths without a drive
// do not.
bool isAbsoluteDestinationPath(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':';
}

}  // namespace bu::platform
