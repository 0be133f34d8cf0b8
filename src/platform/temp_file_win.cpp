#include "platform/temp_file.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace bu::platform {

UniqueFile openTempFileForAppend(const char* fileName) {
  // Sized by the system's answer, so no directory is too long for the buffer.
  std::vector<wchar_t> directory(MAX_PATH, L'\0');
  DWORD length = GetTempPathW(static_cast<DWORD>(directory.size()), directory.data());
  if (length >= directory.size()) {
    directory.assign(length + 1, L'\0');
    length = GetTempPathW(static_cast<DWORD>(directory.size()), directory.data());
  }
  if (length == 0 || length >= directory.size()) return nullptr;
  // The directory ends in a backslash; the doubled separator is harmless.
  std::wstring path(directory.data(), length);
  path += L"\\";
  path += ansiToWide(fileName);
  return UniqueFile(_wfopen(path.c_str(), L"at"));
}

}  // namespace bu::platform
