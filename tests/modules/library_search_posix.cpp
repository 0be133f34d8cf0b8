#include "library_search.h"

#include <dlfcn.h>

#include <string>

#include "module_trace.h"

namespace test_module {

std::string loadByName(const std::wstring& name) {
  std::string narrow;
  for (wchar_t c : name) narrow += static_cast<char>(c);
  if (::dlopen(narrow.c_str(), RTLD_NOW | RTLD_LOCAL) == nullptr) return "error dlopen";
  return "loaded " + narrow;
}

}  // namespace test_module
