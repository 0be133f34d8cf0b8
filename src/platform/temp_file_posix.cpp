#include "platform/temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace bu::platform {
namespace {

// Whether the file just opened may take our text: a regular file of the user
// the program runs as, with no other name. With TMPDIR unset the file lives
// at a fixed name in the shared /tmp, where anyone may have put something
// first: a directory, a pipe or a device; another user's file, which would
// then collect (or be spoilt by) our lines; or a hard link to one of our own
// files elsewhere, which the lines would corrupt.
bool isOwnPlainFile(int descriptor) {
  struct stat status {};
  return ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
         status.st_uid == ::geteuid() && status.st_nlink == 1;
}

class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace

// The temporary directory is $TMPDIR, else /tmp. A symbolic link at the name
// is never followed (it may point anywhere another user chose); a new file
// is readable and writable by its owner only. The open does not block, so a
// pipe planted at the name cannot hold the program up. One write in append
// mode puts the whole text at the end of the file, whoever else appends.
bool appendToTempFile(const char* fileName, const char* text, std::size_t size) {
  const char* directory = std::getenv("TMPDIR");
  std::string path = directory != nullptr && *directory != '\0' ? directory : "/tmp";
  path += '/';
  path += fileName;
  const Descriptor file(::open(path.c_str(),
                               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK |
                                   O_CLOEXEC,
                               S_IRUSR | S_IWUSR));
  if (file.get() < 0 || !isOwnPlainFile(file.get())) return false;
  while (size > 0) {
    const ssize_t written = ::write(file.get(), text, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace bu::platform
