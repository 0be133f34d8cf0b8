#include "modules/archive_entry_name.h"

#include "platform/file_path.h"
#include "platform/text.h"

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

bool isSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A surrogate that is not half of a pair (with 4-byte characters, any).
bool hasUnpairedSurrogate(const std::wstring& path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (!isSurrogate(path[i])) continue;
    if (sizeof(wchar_t) == 2 && isHighSurrogate(path[i]) && i + 1 < path.size() &&
        isLowSurrogate(path[i + 1])) {
      ++i;
      continue;
    }
    return true;
  }
  return false;
}

bool isConfined(const std::wstring& path) {
  // Judged on the text the library will use, and only that.
  if (hasUnpairedSurrogate(path) || !platform::libraryKeepsText(path)) return false;
  return isPathBelow(path);
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

bool isEntryConfined(const std::wstring& name, unsigned redirectionType,
                     const std::wstring& linkTarget) {
  if (!isConfined(name)) return false;
  return redirectionType == kNotALink || isConfined(linkTarget);
}

}  // namespace bu
