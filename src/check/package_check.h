// The package check: reads the package in the current directory exactly as
// the updater would, through the updater's own code (configuration reading,
// module location, the signature check, the image machine, the UnRAR
// binding's listing pass and the extraction's entry rules), and reports one
// finding per check, in the order the updater meets them. It never extracts
// and writes nothing into the package.
#pragma once

#include <string>
#include <vector>

namespace bu::check {

enum class Level { Ok, Warning, Error };

struct Finding {
  std::string scope;   // "package", or "product 1", "product 2", ...
  std::string check;   // what was checked, e.g. "buConfig.xml", "archive"
  Level level;
  std::string detail;  // what was found, and why when it is not ok
};

// With `test`, each archive's data is also read through the library's test
// pass, which finds damaged files (a CRC that does not match).
std::vector<Finding> checkPackage(bool test = false);

// "ok", "warning" or "error".
const char* levelName(Level level);

}  // namespace bu::check
