#include "platform/file_path.h"

#include <windows.h>

#include <vector>

namespace bu::platform {

std::wstring fileInCurrentDirectory(const std::wstring& name) {
  // Sized by the system's answer, so no directory is too long for the buffer.
  DWORD needed = GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return {};
  std::vector<wchar_t> directory(needed, L'\0');
  const DWORD length = GetCurrentDirectoryW(needed, directory.data());
  if (length == 0 || length >= needed) return {};
  std::wstring path(directory.data(), length);
  if (path.back() != L'\\') path += L'\\';  // a drive's root already ends in one
  return path + name;
}

}  // namespace bu::platform
