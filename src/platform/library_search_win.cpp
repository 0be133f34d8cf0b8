#include "platform/library_search_win.h"

namespace bu::platform {
namespace {

// The loader update that brought the LOAD_LIBRARY_SEARCH_* flags (built into
// Windows 8 and later, an update for Windows 7) also brought this function,
// so its presence tells whether the flags may be passed.
FARPROC setDefaultDllDirectories() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
}

}  // namespace

void restrictDllSearchToSystemDirectory() {
  using Function = BOOL(WINAPI*)(DWORD);
  const auto function = reinterpret_cast<Function>(reinterpret_cast<void*>(setDefaultDllDirectories()));
  if (function != nullptr) function(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

DWORD fullPathLoadFlags(ModuleDependencies dependencies) {
  if (setDefaultDllDirectories() == nullptr) return LOAD_WITH_ALTERED_SEARCH_PATH;
  return dependencies == ModuleDependencies::BesideTheModule
             ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
             : LOAD_LIBRARY_SEARCH_SYSTEM32;
}

}  // namespace bu::platform
