// The POSIX stand-in for the machine's registry hive: a directory tree.
//
// The hive is the directory $BU_REGISTRY_ROOT, or kDefaultRegistryRoot when
// that variable is unset or empty. A key is the chain of subdirectories named
// by its backslash-separated components (empty components are dropped), a
// value a regular file of exactly the value's name directly in the key's
// directory, whose bytes are the data in the locale's character set. There is
// one view: the 64-bit view reads the same tree. Names are case-sensitive.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace bu::platform {

extern const char kDefaultRegistryRoot[];

// The hive directory for this process's environment.
std::string registryRoot();

// True when `name` can stand for a file directly inside a directory: not
// empty, no '/' or NUL, not "." or "..".
bool isRegistryFileName(const std::string& name);

// The text held by a value file's bytes: one trailing newline is dropped,
// data of more than kRegistryDataCapacity bytes after that is refused (empty
// optional), and the text ends at the first NUL byte. Converted from the
// locale's character set.
std::optional<std::wstring> decodeRegistryValue(const unsigned char* bytes, std::size_t size);

}  // namespace bu::platform
