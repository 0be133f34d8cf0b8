#include "platform/pinned_file.h"

#include <vector>

#include "platform/pinned_file_native_win.h"

namespace bu::platform {
namespace {

// The full form of `path`; a relative one is taken in the current directory.
std::wstring fullPathOf(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::vector<wchar_t> buffer(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
  if (length == 0 || length >= needed) return {};
  return std::wstring(buffer.data(), length);
}

}  // namespace

PinnedFile::PinnedFile() = default;
PinnedFile::~PinnedFile() = default;
PinnedFile::PinnedFile(PinnedFile&&) noexcept = default;
PinnedFile& PinnedFile::operator=(PinnedFile&&) noexcept = default;

PinnedFile PinnedFile::open(const std::wstring& path) {
  PinnedFile pinned;
  if (path.empty()) return pinned;
  pinned.fullPath_ = fullPathOf(path);
  if (pinned.fullPath_.empty()) return pinned;
  // Read sharing only: while this handle is open nobody can open the file
  // for writing, so the bytes checked through it are the bytes mapped by the
  // loader (which asks for read and execute access only). A directory does
  // not open without backup semantics.
  const HANDLE file = CreateFileW(pinned.fullPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return pinned;
  pinned.native_ = std::make_unique<Native>(file);
  return pinned;
}

}  // namespace bu::platform
