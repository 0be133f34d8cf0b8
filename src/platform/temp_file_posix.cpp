#include "platform/temp_file.h"

#include <cstdlib>
#include <string>

namespace bu::platform {

// The temporary directory is $TMPDIR, else /tmp.
UniqueFile openTempFileForAppend(const char* fileName) {
  const char* directory = std::getenv("TMPDIR");
  std::string path = directory != nullptr && *directory != '\0' ? directory : "/tmp";
  path += '/';
  path += fileName;
  return UniqueFile(std::fopen(path.c_str(), "a"));
}

}  // namespace bu::platform
