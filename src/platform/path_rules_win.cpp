#include "platform/path_rules.h"

namespace bu::platform {

std::string storedDestinationPath(const std::string& lowerCasedPath, const std::string&) {
  return lowerCasedPath;
}

// The whole test: "d:" and "d:dir" pass; UNC and rooted paths without a drive
// do not.
bool isAbsoluteDestinationPath(const std::string& path) {
  return path.size() >= 2 && path[1] == ':';
}

}  // namespace bu::platform
