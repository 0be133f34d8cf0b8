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

}  // namespace bu::platform
