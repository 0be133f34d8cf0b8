#include "platform/string_resource.h"

#include <windows.h>

#include <vector>

namespace bu::platform {
namespace {

// A string module is a module handle by another name; it is never
// dereferenced.
HINSTANCE instanceOf(StringModuleHandle module) {
  return module != nullptr ? reinterpret_cast<HINSTANCE>(const_cast<StringModule*>(module))
                           : GetModuleHandleW(nullptr);
}

}  // namespace

StringModuleHandle ownStringModule(ModuleHandle instance) {
  return static_cast<StringModuleHandle>(instance);
}

std::wstring loadString(StringModuleHandle module, unsigned id, std::size_t capacity) {
  std::vector<wchar_t> buffer(capacity, L'\0');
  const int length = LoadStringW(instanceOf(module), id, buffer.data(),
                                 static_cast<int>(capacity));
  if (length <= 0) return {};
  return std::wstring(buffer.data(), static_cast<std::size_t>(length));
}

// Mapped as an image resource, never as code: no entry point runs, nothing is
// relocated or bound, and the module's dependencies are not loaded. The
// pinned file's handle denies writers while it is mapped; the mapping then
// holds the bytes.
StringModuleHandle loadStringModule(const PinnedFile& file) {
  if (!file.isOpen()) return nullptr;
  const HMODULE module = LoadLibraryExW(file.fullPath().c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  return reinterpret_cast<StringModuleHandle>(module);
}

}  // namespace bu::platform
