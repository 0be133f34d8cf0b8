// Read access to keys of the machine's registry hive (HKEY_LOCAL_MACHINE on
// Windows; a directory tree on POSIX, see registry_posix.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bu::platform {

// Most bytes a value's data may hold; a larger value cannot be read.
constexpr std::size_t kRegistryDataCapacity = 8192;

// Answers of RegistryKey::open besides 0, numbered as Windows numbers them.
constexpr long kRegistryKeyNotFound = 2;
constexpr long kRegistryAccessDenied = 5;

// One opened key, closed when the object goes, on every path.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens `path` (components separated by backslashes) below the machine
  // hive for reading, in the 64-bit view when `use64BitView` is set (on
  // 64-bit Windows a 32-bit process otherwise reads the 32-bit view). Closes
  // a key held before. Answers 0, or the system's code for the failure: 2
  // when the key does not exist, 5 when access is refused.
  long open(const std::wstring& path, bool use64BitView);

  // The data of the value `name` as a string: the value's type is ignored,
  // and the text ends at its first NUL character or at the end of the data.
  // False, with `data` empty, when the value is missing, unreadable or
  // larger than kRegistryDataCapacity, or no key is open.
  bool queryString(const std::wstring& name, std::wstring& data) const;

  // The data of the DWORD value `name`. Windows: a REG_DWORD value; POSIX: a
  // value file holding the number in decimal digits (a trailing newline
  // allowed). False when the value is missing, of another type or form, or
  // no key is open.
  bool queryNumber(const std::wstring& name, std::uint32_t& value) const;

  void close();
  bool isOpen() const { return open_; }

 private:
  std::intptr_t handle_ = 0;  // HKEY on Windows, a directory descriptor on POSIX
  bool open_ = false;
};

}  // namespace bu::platform
