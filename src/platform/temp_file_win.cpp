#include "platform/temp_file.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace bu::platform {
namespace {

// A byte far beyond any real content, locked while one process appends: the
// lock is what makes appends from several processes take turns. Windows
// would put every write of an append-only handle at the end by itself, but
// Wine seeks to the end and then writes, so two processes can write at the
// same offset and lose a line or tear it. The lock covers no data, so
// readers and writers that do not take it are never held up.
constexpr DWORD kTurnOffsetLow = 0xFFFFFFFE;
constexpr DWORD kTurnOffsetHigh = 0x7FFFFFFF;
// How long to wait for the turn before writing anyway: a process that holds
// the lock and never lets go must not stop the program.
constexpr int kTurnAttempts = 2000;

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

class Turn {
 public:
  explicit Turn(HANDLE file) : file_(file) {
    place_.Offset = kTurnOffsetLow;
    place_.OffsetHigh = kTurnOffsetHigh;
    for (int attempt = 0; attempt < kTurnAttempts && !held_; ++attempt) {
      held_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         &place_) != FALSE;
      if (!held_) Sleep(attempt == 0 ? 0 : 1);
    }
  }
  ~Turn() {
    if (held_) UnlockFileEx(file_, 0, 1, 0, &place_);
  }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;

 private:
  HANDLE file_;
  OVERLAPPED place_{};
  bool held_ = false;
};

std::wstring tempFilePath(const char* fileName) {
  // Sized by the system's answer, so no directory is too long for the buffer.
  std::vector<wchar_t> directory(MAX_PATH, L'\0');
  DWORD length = GetTempPathW(static_cast<DWORD>(directory.size()), directory.data());
  if (length >= directory.size()) {
    directory.assign(length + 1, L'\0');
    length = GetTempPathW(static_cast<DWORD>(directory.size()), directory.data());
  }
  if (length == 0 || length >= directory.size()) return {};
  // The directory ends in a backslash; the doubled separator is harmless.
  std::wstring path(directory.data(), length);
  path += L"\\";
  path += ansiToWide(fileName);
  return path;
}

}  // namespace

bool appendToTempFile(const char* fileName, const char* text, std::size_t size) {
  const std::wstring path = tempFilePath(fileName);
  if (path.empty()) return false;
  // Append-only writing (read access only because the lock needs it).
  const Handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  // Text mode, as the runtime's "at" writes it: "\n" becomes CR LF.
  std::string bytes;
  bytes.reserve(size + size / 8 + 2);
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] == '\n') bytes += '\r';
    bytes += text[i];
  }
  const Turn turn(file.get());
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace bu::platform
