#include "platform/regular_file_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace bu::platform {

int openRegularFileDescriptor(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) return -1;
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(descriptor);
    return -1;
  }
  return descriptor;
}

RegularFile::RegularFile(const std::string& path) : descriptor_(openRegularFileDescriptor(path)) {}

RegularFile::~RegularFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

bool RegularFile::readAll(std::vector<unsigned char>& bytes, std::size_t limit) const {
  bytes.clear();
  struct stat status {};
  if (descriptor_ < 0 || ::fstat(descriptor_, &status) != 0 || status.st_size < 0 ||
      static_cast<unsigned long long>(status.st_size) > limit) {
    return false;
  }
  bytes.resize(static_cast<std::size_t>(status.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::pread(descriptor_, bytes.data() + done, bytes.size() - done,
                                static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return true;
}

}  // namespace bu::platform
