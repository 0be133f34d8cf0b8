// A module of code loaded at run time: a DLL on Windows, a shared object on
// POSIX. Loaded only from a pinned file (pinned_file.h), so what runs is the
// file that was verified; unloaded when the object dies.
#pragma once

#include "platform/pinned_file.h"

namespace bu::platform {

class CodeModule {
 public:
  // Loads the pinned file. Windows: LoadLibraryExW of its full path with
  // LOAD_WITH_ALTERED_SEARCH_PATH, so that the module's own dependencies are
  // found beside it. POSIX: dlopen of the sealed copy, RTLD_NOW | RTLD_LOCAL.
  // Empty when the file is not open or cannot be loaded (for instance a
  // module of the other architecture).
  static CodeModule load(const PinnedFile& file);

  CodeModule() = default;
  ~CodeModule() { reset(); }
  CodeModule(CodeModule&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  CodeModule& operator=(CodeModule&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  CodeModule(const CodeModule&) = delete;
  CodeModule& operator=(const CodeModule&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }

  // The address of the export `name` (GetProcAddress / dlsym), or null.
  void* symbol(const char* name) const;

  // Unloads the module now (FreeLibrary / dlclose); nothing when empty.
  void reset();

 private:
  explicit CodeModule(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
};

// A symbol address as a function pointer of the caller's type.
template <typename Function>
Function symbolAs(const CodeModule& module, const char* name) {
  return reinterpret_cast<Function>(module.symbol(name));
}

}  // namespace bu::platform
