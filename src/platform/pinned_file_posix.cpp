#include "platform/pinned_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/file_name_posix.h"
#include "platform/file_path.h"
#include "platform/pinned_file_native_posix.h"
#include "platform/regular_file_posix.h"
#include "platform/text.h"
#include "platform/unique_descriptor_posix.h"

namespace bu::platform {
namespace {

constexpr unsigned kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

bool writeAll(int descriptor, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Copies the whole of `source` into a new sealed in-memory file, showing
// each piece to `observe` on its way; -1 when any step fails.
int sealedCopy(int source, const PinnedBytesObserver& observe) {
  UniqueDescriptor copy(::memfd_create("bu-pinned", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (copy.get() < 0) return -1;
  constexpr std::size_t kChunk = 1024 * 1024;
  const std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (;;) {
    const ssize_t got = ::read(source, buffer.get(), kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    const std::size_t size = static_cast<std::size_t>(got);
    if (observe && !observe(reinterpret_cast<const unsigned char*>(buffer.get()), size)) {
      return -1;
    }
    if (!writeAll(copy.get(), buffer.get(), size)) return -1;
  }
  if (::fcntl(copy.get(), F_ADD_SEALS, kSeals) != 0) return -1;
  return copy.release();
}

}  // namespace

PinnedFile::PinnedFile() = default;
PinnedFile::~PinnedFile() = default;
PinnedFile::PinnedFile(PinnedFile&&) noexcept = default;
PinnedFile& PinnedFile::operator=(PinnedFile&&) noexcept = default;

PinnedFile PinnedFile::open(const std::wstring& path) { return open(path, nullptr); }

PinnedFile PinnedFile::open(const std::wstring& path, const PinnedBytesObserver& observe) {
  PinnedFile pinned;
  if (path.empty()) return pinned;
  pinned.fullPath_ = path.front() == L'/' ? path : fileInCurrentDirectory(path);
  if (pinned.fullPath_.empty()) return pinned;
  std::string narrow;
  if (!toNarrow(pinned.fullPath_, narrow)) return pinned;
  const UniqueDescriptor source(openRegularFileDescriptor(narrow));
  if (source.get() < 0) return pinned;
  // The source was opened without blocking (a pipe must not wait for a
  // writer); a regular file reads the same either way, but the copy reads it
  // in blocking mode so that no short read is taken for the end.
  ::fcntl(source.get(), F_SETFL, ::fcntl(source.get(), F_GETFL) & ~O_NONBLOCK);
  const int copy = sealedCopy(source.get(), observe);
  if (copy < 0) return pinned;
  pinned.native_ = std::make_unique<Native>(copy);
  return pinned;
}

}  // namespace bu::platform
