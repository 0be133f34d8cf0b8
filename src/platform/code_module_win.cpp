#include "platform/code_module.h"

#include <windows.h>

namespace bu::platform {

CodeModule CodeModule::load(const PinnedFile& file) {
  if (!file.isOpen()) return CodeModule();
  // By full path, never by bare name: the module search would look in the
  // program's own directory first. The altered search path lets the
  // module's own dependencies be found in its directory.
  return CodeModule(LoadLibraryExW(file.fullPath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
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
