#include <cstdio>

#include "platform/read_file.h"

namespace bu::platform {

// The runtime refuses to open a directory, and the names the program opens
// are no device names: what opens is a file. The name is in the ANSI code
// page, as TinyXML would pass it.
UniqueFile openRegularFileForReading(const char* name) {
  return UniqueFile(std::fopen(name, "rb"));
}

}  // namespace bu::platform
