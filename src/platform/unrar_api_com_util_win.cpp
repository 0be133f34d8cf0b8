// The two string conversions of the COM support library that the UnRAR
// library's Windows version check uses through _bstr_t (comutil.h). MinGW-w64
// declares them but ships no library defining them, so unrar.dll brings its
// own. Conversions go through the ANSI code page, as the originals do.
#include <windows.h>
#include <comutil.h>

namespace _com_util {

BSTR WINAPI ConvertStringToBSTR(const char* source) {
  if (source == nullptr) return nullptr;
  const int length = MultiByteToWideChar(CP_ACP, 0, source, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  // SysAllocStringLen adds the terminator itself.
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (text == nullptr) return nullptr;
  MultiByteToWideChar(CP_ACP, 0, source, -1, text, length);
  return text;
}

char* WINAPI ConvertBSTRToString(BSTR source) {
  if (source == nullptr) return nullptr;
  const int wideLength = static_cast<int>(SysStringLen(source)) + 1;
  const int length =
      WideCharToMultiByte(CP_ACP, 0, source, wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return nullptr;
  // _bstr_t releases the answer with delete[].
  char* text = new char[length];
  WideCharToMultiByte(CP_ACP, 0, source, wideLength, text, length, nullptr, nullptr);
  return text;
}

}  // namespace _com_util
