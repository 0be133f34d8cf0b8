#include "platform/code_module.h"

#include <dlfcn.h>

#include <string>

#include "platform/pinned_file_native_posix.h"

namespace bu::platform {

CodeModule CodeModule::load(const PinnedFile& file) {
  if (!file.isOpen()) return CodeModule();
  // The sealed copy the check read, through its descriptor: a file put in
  // the original's place meanwhile is never what runs. Each copy is a file
  // of its own, so two modules never count as one already loaded.
  const std::string path = "/proc/self/fd/" + std::to_string(file.native()->copy);
  return CodeModule(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
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
