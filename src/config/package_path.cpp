#include "config/package_path.h"

#include "platform/file_path.h"

namespace bu {
namespace {

bool isSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Empty, or nothing but dots and blanks: a component Windows may resolve to
// the directory itself or to its parent.
bool isNavigation(const std::wstring& path, std::size_t begin, std::size_t end) {
  for (std::size_t i = begin; i < end; ++i) {
    if (path[i] != L'.' && path[i] != L' ') return false;
  }
  return true;
}

}  // namespace

bool isPathBelow(const std::wstring& path) {
  if (path.empty() || isSeparator(path.front())) return false;
  if (path.find(L':') != std::wstring::npos) return false;
  std::size_t begin = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !isSeparator(path[i])) continue;
    if (isNavigation(path, begin, i)) return false;
    begin = i + 1;
  }
  return true;
}

bool isFileOfPackage(const std::wstring& path) {
  return isPathBelow(path) && !platform::passesLink(path);
}

}  // namespace bu
