// A POSIX file descriptor owned by one object and closed when it goes.
#pragma once

#include <unistd.h>

namespace bu::platform {

class UniqueDescriptor {
 public:
  explicit UniqueDescriptor(int descriptor = -1) : descriptor_(descriptor) {}
  ~UniqueDescriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  UniqueDescriptor(const UniqueDescriptor&) = delete;
  UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;

  int get() const { return descriptor_; }
  // Closes the descriptor held, if any, and takes `descriptor` instead.
  void reset(int descriptor = -1) {
    if (descriptor_ >= 0 && descriptor_ != descriptor) ::close(descriptor_);
    descriptor_ = descriptor;
  }
  // Hands the descriptor over; the object then owns none.
  int release() {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    return descriptor;
  }

 private:
  int descriptor_;
};

}  // namespace bu::platform
