#include "platform/code_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/pinned_file_native_posix.h"

namespace bu::platform {
namespace {

std::string descriptorPath(int descriptor) {
  return "/proc/self/fd/" + std::to_string(descriptor);
}

class Descriptors {
 public:
  Descriptors() = default;
  ~Descriptors() {
    for (int descriptor : descriptors_) ::close(descriptor);
  }
  Descriptors(const Descriptors&) = delete;
  Descriptors& operator=(const Descriptors&) = delete;
  void add(int descriptor) { descriptors_.push_back(descriptor); }

 private:
  std::vector<int> descriptors_;
};

}  // namespace

CodeModule CodeModule::load(const PinnedFile& file) {
  if (!file.isOpen()) return CodeModule();
  // The sealed copy the check read, through its descriptor: a file put in
  // the original's place meanwhile is never what runs. The loader knows an
  // object by the path it was opened by before it looks at the file, and a
  // descriptor number is reused once closed: while an object loaded earlier
  // (still loaded, or kept by the loader after dlclose) answers to this
  // descriptor's path, the copy is reached through a duplicate of another
  // number instead.
  int descriptor = file.native()->copy;
  Descriptors duplicates;
  for (;;) {
    void* taken = ::dlopen(descriptorPath(descriptor).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (taken == nullptr) break;
    ::dlclose(taken);
    descriptor = ::dup(descriptor);
    if (descriptor < 0) return CodeModule();
    duplicates.add(descriptor);
  }
  return CodeModule(::dlopen(descriptorPath(descriptor).c_str(), RTLD_NOW | RTLD_LOCAL));
}

void* CodeModule::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return ::dlsym(handle_, name);
}

void CodeModule::reset() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace bu::platform
