// The POSIX state of a pinned file: a sealed in-memory copy of its bytes.
#pragma once

#include <unistd.h>

#include "platform/pinned_file.h"

namespace bu::platform {

struct PinnedFile::Native {
  explicit Native(int descriptor) : copy(descriptor) {}
  ~Native() { ::close(copy); }
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;

  // Sealed against writing, growing and shrinking: its bytes never change.
  int copy;
};

}  // namespace bu::platform
