// What each port gives file_digest.cpp: a SHA-256 computation.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "platform/file_digest.h"

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

}  // namespace bu::platform
