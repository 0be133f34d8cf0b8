#include "platform/file_path.h"

#include <windows.h>

#include <vector>

namespace bu::platform {
namespace {

// Either separator ends a component on Windows.
const wchar_t kSeparators[] = L"\\/";

}  // namespace

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

// Each prefix of the path that ends before a separator, then the whole path:
// the attributes of a reparse point are its own, not its target's.
bool passesLink(const std::wstring& relativePath) {
  for (std::size_t end = relativePath.find_first_of(kSeparators);;
       end = relativePath.find_first_of(kSeparators, end + 1)) {
    const DWORD attributes = GetFileAttributesW(relativePath.substr(0, end).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
    if (end == std::wstring::npos) return false;
  }
}

}  // namespace bu::platform
