// The options of this run, from the command line.
#pragma once

#include <string>

namespace bu {

enum class Mode { List, Extract, Full };

struct RunOptions {
  Mode mode = Mode::Full;
  bool silent = false;    // /q
  bool rollback = false;  // /r
  bool oem = false;       // /tvxoem
  std::string extractFile;  // lower-cased
  std::string extractPath;  // lower-cased where the file system ignores case
};

// Process-wide: written once by parseCommandLine, read-only afterwards.
extern RunOptions runOptions;

}  // namespace bu
