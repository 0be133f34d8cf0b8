// SHA-256 digests of a package's payload: of bytes in memory, and of a file
// as PinnedFile pins it, taken from the bytes pinned, so that the digest is
// that of the bytes then used. POSIX uses OpenSSL; Windows the
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

// Pins `path` (PinnedFile::open) and takes the SHA-256 of the very bytes
// pinned, in the same read; `digest` is null when the file could not be
// pinned or hashed (the file is then not open).
PinnedFile pinWithDigest(const std::wstring& path, std::optional<Sha256Digest>& digest);

// Pins `path` and keeps a copy of the bytes pinned, up to `limit` of them;
// `bytes` is null when the file could not be pinned or holds more.
PinnedFile pinWithBytes(const std::wstring& path, std::size_t limit,
                        std::optional<std::vector<unsigned char>>& bytes);

// The 8-bit name by which another reader (the UnRAR library) opens exactly
// the pinned bytes of the package file it knows as `name`: that name itself
// on Windows, where the pin keeps the file from being written, renamed or
// deleted; the sealed copy's /proc/self/fd name on POSIX.
std::string pinnedBytesName(const PinnedFile& file, const std::string& name);

}  // namespace bu::platform
