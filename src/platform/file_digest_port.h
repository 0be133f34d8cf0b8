// What each port gives file_digest.cpp: a SHA-256 computation and positioned
// reads of a pinned file. The loops over them are written once.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "platform/file_digest.h"
#include "platform/pinned_file.h"

namespace bu::platform {

// One SHA-256 computation; every handle it takes is released with it.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False when the platform's hash service could not be started.
  bool ready() const;
  bool add(const void* data, std::size_t size);
  std::optional<Sha256Digest> finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Up to `size` bytes of the open pinned file from `offset`: the count read,
// 0 at its end, -1 on an error. The file's own position is not used.
long long readPinnedAt(const PinnedFile& file, unsigned long long offset, void* buffer,
                       std::size_t size);

}  // namespace bu::platform
