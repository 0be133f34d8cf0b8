#include "platform/string_resource.h"

#include <windows.h>

#include <vector>

namespace bu::platform {

std::wstring loadString(ModuleHandle module, unsigned id, std::size_t capacity) {
  std::vector<wchar_t> buffer(capacity, L'\0');
  const int length = LoadStringW(static_cast<HINSTANCE>(module), id, buffer.data(),
                                 static_cast<int>(capacity));
  if (length <= 0) return {};
  return std::wstring(buffer.data(), static_cast<std::size_t>(length));
}

// Mapped as an image resource, never as code: no entry point runs, nothing is
// relocated or bound, and the module's dependencies are not loaded.
ModuleHandle loadStringModule(const std::wstring& fullPath) {
  if (fullPath.empty()) return nullptr;
  return LoadLibraryExW(fullPath.c_str(), nullptr,
                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

}  // namespace bu::platform
