// The archive entry-name check, fed what an archive's header may say: a
// redirection type, a name and a link target. An entry judged confined is
// also confined when its path is resolved the way either port resolves it:
// no component may lead up or to a drive, under Windows' rule that trailing
// dots and blanks of a component are dropped as well.
//
// Input: one byte for the redirection type (its value modulo 7: none, the
// library's five kinds of link and copy, one it does not define), then the
// name, a NUL, the target; both UTF-8, read as wide names.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "modules/archive_entry_name.h"
#include "platform/text.h"

namespace {

bool isSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Resolves `path` from the directory it is read in: false when any step
// leaves that directory or stays at it (a name must name something below),
// or when the path is absolute or names a drive or a stream.
bool staysBelow(const std::wstring& path) {
  if (path.empty() || isSeparator(path[0]) || path.find(L':') != std::wstring::npos) return false;
  long depth = 0;
  std::size_t begin = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !isSeparator(path[i])) continue;
    std::wstring component = path.substr(begin, i - begin);
    begin = i + 1;
    // Windows drops trailing dots and blanks; POSIX reads the name as it is.
    std::wstring trimmed = component;
    while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' ')) trimmed.pop_back();
    if (component == L".." || (trimmed.empty() && component.size() >= 2)) {
      --depth;  // up, on one port or the other
    } else if (component.empty() || component == L"." || trimmed.empty()) {
      // stays where it is
    } else {
      ++depth;
    }
    if (depth < 0) return false;
  }
  return depth > 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  bu::fuzz::useLocale("C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned redirection = data[0] % 7;
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t nul = rest.find('\0');
  const std::wstring name = bu::platform::ansiToWide(rest.substr(0, nul));
  const std::wstring target =
      nul == std::string::npos ? std::wstring() : bu::platform::ansiToWide(rest.substr(nul + 1));

  if (bu::isEntryConfined(name, redirection, target)) {
    bu::fuzz::check(staysBelow(name), "a confined name resolves outside its destination");
    if (redirection != bu::kNotALink) {
      bu::fuzz::check(staysBelow(target), "a confined link target resolves outside");
    }
  }
  return 0;
}
