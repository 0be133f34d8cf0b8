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
  // Wide, so that a directory named outside the 8-bit character set keeps its
  // name; lower-cased where the file system ignores case. Only log lines
  // take its 8-bit form.
  std::wstring extractPath;
};

// Process-wide: written once by parseCommandLine, read-only afterwards.
extern RunOptions runOptions;

}  // namespace bu
