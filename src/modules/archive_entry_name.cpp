#include "modules/archive_entry_name.h"

#include "config/package_path.h"
#include "platform/text.h"

namespace bu {
namespace {

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

bool isEntryConfined(const std::wstring& name, unsigned redirectionType,
                     const std::wstring& linkTarget) {
  if (!isConfined(name)) return false;
  return redirectionType == kNotALink || isConfined(linkTarget);
}

}  // namespace bu
