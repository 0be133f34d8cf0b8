#include "platform/text.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>

namespace bu::platform {

namespace {

// In a single-byte locale ("C", "POSIX") every byte stands for itself, so
// 8-bit texts survive a round trip unchanged, as in a Windows code page.
bool singleByteLocale() { return MB_CUR_MAX == 1; }

}  // namespace

// Character by character, so that one byte the locale cannot read costs only
// itself, not the rest of the text. Such a byte becomes an unpaired surrogate
// (U+DC80 to U+DCFF, as the byte's own mark): shown, it reads '?' as before,
// but a path holding it is refused where it must name a file exactly (a
// destination never lands in a directory of another name).
std::wstring ansiToWide(const std::string& text) {
  if (singleByteLocale()) {
    std::wstring wide;
    for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
  }
  std::wstring wide;
  std::mbstate_t state{};
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    wchar_t c = 0;
    const std::size_t used = std::mbrtowc(&c, p, left, &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
      wide += static_cast<wchar_t>(0xDC00 | static_cast<unsigned char>(*p));
      state = std::mbstate_t{};
      ++p;
      --left;
      continue;
    }
    const std::size_t step = used == 0 ? 1 : used;  // an embedded NUL
    wide += c;
    p += step;
    left -= step;
  }
  return wide;
}

// The library converts with wcstombs; the text is kept when that succeeds
// and converts back to the same characters.
bool libraryKeepsText(const std::wstring& text) {
  // Every locale this library runs in keeps ASCII as it is; names are
  // nearly always ASCII, and the two conversions cost more than the check.
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](wchar_t c) { return c > 0 && c < 0x80; });
  if (ascii) return true;
  const std::size_t size = std::wcstombs(nullptr, text.c_str(), 0);
  if (size == static_cast<std::size_t>(-1)) return false;
  std::string narrow(size, '\0');
  std::wcstombs(narrow.data(), text.c_str(), size);
  std::wstring back(narrow.size(), L'\0');
  const std::size_t count = std::mbstowcs(back.data(), narrow.c_str(), back.size());
  if (count == static_cast<std::size_t>(-1)) return false;
  back.resize(count);
  return back == text;
}

std::string wideToAnsi(const std::wstring& text) {
  std::string narrow;
  if (singleByteLocale()) {
    for (wchar_t c : text) narrow += c >= 0 && c <= 0xFF ? static_cast<char>(c) : '?';
    return narrow;
  }
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (wchar_t c : text) {
    const std::size_t used = std::wcrtomb(buffer, c, &state);
    if (used == static_cast<std::size_t>(-1)) {
      narrow += '?';
      state = std::mbstate_t{};
    } else {
      narrow.append(buffer, used);
    }
  }
  return narrow;
}

}  // namespace bu::platform
