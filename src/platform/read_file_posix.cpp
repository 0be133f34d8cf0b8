#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/read_file.h"

namespace bu::platform {

// POSIX opens directories and devices like files: a directory's length reads
// as enormous, and a FIFO would block the open until someone writes to it.
// Non-blocking open, then only a regular file is let through.
UniqueFile openRegularFileForReading(const char* name) {
  const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return nullptr;
  }
  UniqueFile file(fdopen(fd, "rb"));
  if (!file) close(fd);
  return file;
}

}  // namespace bu::platform
