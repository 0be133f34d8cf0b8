#include "platform/registry.h"

#include <windows.h>

namespace bu::platform {
namespace {

HKEY asKey(std::intptr_t handle) { return reinterpret_cast<HKEY>(handle); }

}  // namespace

long RegistryKey::open(const std::wstring& path, bool use64BitView) {
  close();
  const REGSAM access = use64BitView ? KEY_READ | KEY_WOW64_64KEY : KEY_READ;
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key);
  if (status != ERROR_SUCCESS) return status;
  handle_ = reinterpret_cast<std::intptr_t>(key);
  open_ = true;
  return 0;
}

bool RegistryKey::queryString(const std::wstring& name, std::wstring& data) const {
  data.clear();
  if (!open_) return false;
  // wchar_t elements keep the buffer aligned for reading the data as text.
  wchar_t buffer[kRegistryDataCapacity / sizeof(wchar_t)];
  DWORD size = sizeof buffer;
  DWORD type = 0;  // received, never looked at: any type is read as text
  const LSTATUS status = RegQueryValueExW(asKey(handle_), name.c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(buffer), &size);
  if (status != ERROR_SUCCESS) return false;
  const std::size_t characters = size / sizeof(wchar_t);  // an odd last byte is no character
  std::size_t length = 0;
  while (length < characters && buffer[length] != L'\0') ++length;
  data.assign(buffer, length);
  return true;
}

bool RegistryKey::queryNumber(const std::wstring& name, std::uint32_t& value) const {
  if (!open_) return false;
  DWORD data = 0;
  DWORD size = sizeof data;
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExW(asKey(handle_), name.c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(&data), &size);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
  value = data;
  return true;
}

void RegistryKey::close() {
  if (!open_) return;
  RegCloseKey(asKey(handle_));
  handle_ = 0;
  open_ = false;
}

}  // namespace bu::platform
