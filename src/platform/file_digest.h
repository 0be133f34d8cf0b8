// SHA-256 digests of a package's payload: of bytes in memory, and of a file
// pinned by PinnedFile, read through the pinned file itself, so that the
// digest is that of the bytes then used. POSIX uses OpenSSL; Windows the
// CryptoAPI of advapi32, which the program imports already (a new import
// would be found by the loader's search before the program could restrict it).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/pinned_file.h"

namespace bu::platform {

using Sha256Digest = std::array<unsigned char, 32>;

// Null when the platform's hash service fails.
std::optional<Sha256Digest> sha256Of(const void* data, std::size_t size);

// The digest of the whole pinned file, read from its start; null when it is
// not open or cannot be read.
std::optional<Sha256Digest> sha256Of(const PinnedFile& file);

// The whole pinned file, read from its start; null when it is not open,
// cannot be read, or holds more than `limit` bytes.
std::optional<std::vector<unsigned char>> readPinnedFile(const PinnedFile& file,
                                                         std::size_t limit);

// The 8-bit name by which another reader (the UnRAR library) opens exactly
// the pinned bytes of the package file it knows as `name`: that name itself
// on Windows, where the pin keeps the file from being written, renamed or
// deleted; the sealed copy's /proc/self/fd name on POSIX.
std::string pinnedBytesName(const PinnedFile& file, const std::string& name);

}  // namespace bu::platform
