#include "platform/path_rules.h"

namespace bu::platform {

std::string storedDestinationPath(const std::string&, const std::string& originalPath) {
  return originalPath;
}

bool isAbsoluteDestinationPath(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

}  // namespace bu::platform
