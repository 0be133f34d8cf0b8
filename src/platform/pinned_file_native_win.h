// The Windows state of a pinned file: the handle that denies writers.
#pragma once

#include <windows.h>

#include "platform/pinned_file.h"

namespace bu::platform {

struct PinnedFile::Native {
  explicit Native(HANDLE h) : file(h) {}
  ~Native() { CloseHandle(file); }
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;

  HANDLE file;
};

}  // namespace bu::platform
