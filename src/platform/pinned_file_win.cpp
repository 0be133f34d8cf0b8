#include "platform/pinned_file.h"

#include <memory>
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

// Every byte of the held file, read from its start with positioned reads
// (the handle's own position is left to its later readers).
bool observeAll(HANDLE file, const PinnedBytesObserver& observe) {
  constexpr DWORD kChunk = 1024 * 1024;
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
  for (unsigned long long at = 0;;) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(at);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!ReadFile(file, buffer.get(), kChunk, &got, &position)) {
      return GetLastError() == ERROR_HANDLE_EOF;
    }
    if (got == 0) return true;
    if (!observe(buffer.get(), got)) return false;
    at += got;
  }
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
  pinned.fullPath_ = fullPathOf(path);
  if (pinned.fullPath_.empty()) return pinned;
  // Read sharing only: while this handle is open nobody can open the file
  // for writing, so the bytes checked through it are the bytes mapped by the
  // loader (which asks for read and execute access only). A directory does
  // not open without backup semantics.
  const HANDLE file = CreateFileW(pinned.fullPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return pinned;
  auto native = std::make_unique<Native>(file);
  if (observe && !observeAll(file, observe)) return pinned;
  pinned.native_ = std::move(native);
  return pinned;
}

}  // namespace bu::platform
