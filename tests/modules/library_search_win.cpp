#include "library_search.h"

#include <windows.h>

#include <string>

#include "module_trace.h"

namespace test_module {

std::string loadByName(const std::wstring& name) {
  const HMODULE library = LoadLibraryW(name.c_str());
  if (library == nullptr) return "error " + std::to_string(GetLastError());
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(library, path, MAX_PATH);
  return "loaded " + describe(path);
}

}  // namespace test_module
