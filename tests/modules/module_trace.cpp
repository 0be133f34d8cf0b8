#include "module_trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace test_module {

void trace(const char* format, ...) {
  const char* path = std::getenv("BU_MODULE_TRACE");
  if (path == nullptr || *path == '\0') return;
  std::FILE* file = std::fopen(path, "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s ", BU_TEST_MODULE);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(file, format, arguments);
  va_end(arguments);
  std::fputc('\n', file);
  std::fclose(file);
}

std::string describe(const wchar_t* text) {
  if (text == nullptr) return "(null)";
  std::string out;
  for (; *text != L'\0'; ++text) {
    const unsigned long c = static_cast<unsigned long>(*text);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[32];
      std::snprintf(escaped, sizeof escaped, "\\x{%lx}", c);
      out += escaped;
    }
  }
  return out;
}

namespace {

// Where the value of the item "key=value" (or the bare item "key") starts,
// or npos.
std::size_t valueStart(const std::wstring& contentType, const wchar_t* key) {
  const std::wstring wanted(key);
  std::size_t item = 0;
  for (;;) {
    const std::size_t next = contentType.find(L';', item);
    const std::size_t end = next == std::wstring::npos ? contentType.size() : next;
    if (contentType.compare(item, wanted.size(), wanted) == 0) {
      const std::size_t after = item + wanted.size();
      if (after == end) return after;
      if (contentType[after] == L'=') return after + 1;
    }
    if (next == std::wstring::npos) return std::wstring::npos;
    item = next + 1;
  }
}

}  // namespace

bool has(const std::wstring& contentType, const wchar_t* key) {
  return valueStart(contentType, key) != std::wstring::npos;
}

std::wstring value(const std::wstring& contentType, const wchar_t* key) {
  const std::size_t start = valueStart(contentType, key);
  if (start == std::wstring::npos) return {};
  const std::size_t end = contentType.find(L';', start);
  return contentType.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

int number(const std::wstring& contentType, const wchar_t* key, int fallback) {
  if (!has(contentType, key)) return fallback;
  return static_cast<int>(std::wcstol(value(contentType, key).c_str(), nullptr, 10));
}

}  // namespace test_module
