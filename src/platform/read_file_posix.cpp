#include <unistd.h>

#include "platform/read_file.h"
#include "platform/regular_file_posix.h"

namespace bu::platform {

UniqueFile openRegularFileForReading(const char* name) {
  const int descriptor = openRegularFileDescriptor(name);
  if (descriptor < 0) return nullptr;
  UniqueFile file(fdopen(descriptor, "rb"));
  if (!file) close(descriptor);
  return file;
}

}  // namespace bu::platform
