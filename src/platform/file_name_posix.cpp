#include "platform/file_name_posix.h"

#include <climits>
#include <cwchar>
#include <cstdlib>

namespace bu::platform {

bool toNarrow(const std::wstring& wide, std::string& narrow) {
  narrow.clear();
  narrow.reserve(wide.size());
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  // In a single-byte locale every byte stands for itself (platform/text).
  const bool singleByte = MB_CUR_MAX == 1;
  for (const wchar_t c : wide) {
    if ((c > 0 && c < 0x80) || (singleByte && c > 0 && c <= 0xFF)) {
      narrow += static_cast<char>(c);
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      narrow += static_cast<char>(c & 0xFF);
    } else {
      const std::size_t used = std::wcrtomb(buffer, c, &state);
      if (used == static_cast<std::size_t>(-1) || c == 0) return false;
      narrow.append(buffer, used);
    }
  }
  return true;
}

std::wstring toWide(const std::string& narrow) {
  std::wstring wide;
  wide.reserve(narrow.size());
  std::mbstate_t state{};
  for (std::size_t i = 0; i < narrow.size();) {
    const unsigned char byte = static_cast<unsigned char>(narrow[i]);
    wchar_t c = 0;
    const std::size_t used =
        byte < 0x80 ? 1 : std::mbrtowc(&c, narrow.data() + i, narrow.size() - i, &state);
    if (byte < 0x80) {
      wide += static_cast<wchar_t>(byte);
    } else if (used == 0 || used > narrow.size() - i) {
      wide += static_cast<wchar_t>(0xDC00 | byte);
      state = std::mbstate_t{};
      ++i;
      continue;
    } else {
      wide += c;
    }
    i += used;
  }
  return wide;
}

}  // namespace bu::platform
