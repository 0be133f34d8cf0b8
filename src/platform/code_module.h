// A module of code loaded at run time: a DLL on Windows, a shared object on
// POSIX. Loaded only from a pinned file (pinned_file.h), so what runs is the
// file that was verified; unloaded when the object dies.
#pragma once

#include "platform/pinned_file.h"

namespace bu::platform {

// Where the loader may find a module's own dependencies.
enum class ModuleDependencies {
  BesideTheModule,  // its own directory first: a module installed with its
                    // product may ship its libraries in the product's folder
  SystemOnly,       // the system's libraries only: unrar.dll, and a module in
                    // the package, where nothing but the module is verified
};

class CodeModule {
 public:
  // Loads the pinned file. Windows: LoadLibraryExW of its full path, the
  // dependencies looked for as `dependencies` says (platform/
  // library_search_win.h). POSIX: dlopen of the sealed copy, RTLD_NOW |
  // RTLD_LOCAL, once its segments are known to lie inside the file; the
  // system's search finds the dependencies, and with BesideTheModule each
  // library the module needs that lies beside the original file is loaded
  // from there first. Empty when the file
  // is not open or cannot be loaded (for instance a module of the other
  // architecture, or one cut short).
  static CodeModule load(const PinnedFile& file,
                         ModuleDependencies dependencies = ModuleDependencies::BesideTheModule);

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

// From now on a library loaded by bare name comes from the system's own
// directory only, never from the program's or the current directory (a
// download folder where anyone may have left one). Called first thing by
// every program. Windows: the default DLL search is set to the system
// directory (platform/library_search_win.h); nothing changes on systems whose
// loader predates the call. POSIX: nothing to do, the dynamic loader never
// looks in either directory by itself.
void restrictDllSearchToSystemDirectory();

// A symbol address as a function pointer of the caller's type.
template <typename Function>
Function symbolAs(const CodeModule& module, const char* name) {
  return reinterpret_cast<Function>(module.symbol(name));
}

}  // namespace bu::platform
