// A file of code opened once, so that the file whose signature is checked is
// the very file that is then loaded.
//
// A bare or relative name means the file of that name in the current
// directory (never one the platform's module search would find elsewhere).
//
// Windows: the file is held open with read sharing only, so nobody can write
// to it while it is checked and loaded; the check reads it through that
// handle and the loader maps it by its full path.
// POSIX: an open file cannot deny writers, so its bytes are copied once into
// a sealed in-memory file; the check reads that copy and the loader maps that
// copy, so the bytes that run are the bytes that were verified.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace bu::platform {

// Sees the pinned bytes once, in order, in pieces; false fails the open.
using PinnedBytesObserver = std::function<bool(const unsigned char* bytes, std::size_t size)>;

class PinnedFile {
 public:
  // Opens `path` as described above. A file that cannot be opened (missing,
  // unreadable, not a regular file) gives an object whose isOpen() is false.
  static PinnedFile open(const std::wstring& path);

  // The same, and `observe` sees every byte pinned: on POSIX as the sealed
  // copy is made, on Windows read through the held handle. So a digest taken
  // there is the digest of exactly the bytes then used, for one read.
  static PinnedFile open(const std::wstring& path, const PinnedBytesObserver& observe);

  PinnedFile();
  ~PinnedFile();
  PinnedFile(PinnedFile&&) noexcept;
  PinnedFile& operator=(PinnedFile&&) noexcept;
  PinnedFile(const PinnedFile&) = delete;
  PinnedFile& operator=(const PinnedFile&) = delete;

  bool isOpen() const;

  // The full path the file was opened by.
  const std::wstring& fullPath() const;

  // The platform's own state (handle, descriptor), for the check and the
  // loader of the same port; null when the file is not open.
  struct Native;
  const Native* native() const { return native_.get(); }

 private:
  std::wstring fullPath_;
  std::unique_ptr<Native> native_;
};

}  // namespace bu::platform
