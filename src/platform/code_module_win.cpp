#include "platform/code_module.h"

#include <windows.h>

#include "platform/library_search_win.h"

namespace bu::platform {

CodeModule CodeModule::load(const PinnedFile& file, ModuleDependencies dependencies) {
  if (!file.isOpen()) return CodeModule();
  // By full path, never by bare name: the module search would look in the
  // program's own directory first. A plug-in module's own dependencies are
  // found in its directory; those of unrar.dll, which lies in the package
  // (a download folder), only in the system directory.
  return CodeModule(
      LoadLibraryExW(file.fullPath().c_str(), nullptr, fullPathLoadFlags(dependencies)));
}

void* CodeModule::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void CodeModule::reset() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

}  // namespace bu::platform
