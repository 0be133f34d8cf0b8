#include <windows.h>
#include <wincrypt.h>

#include <memory>

#include "platform/file_digest.h"
#include "platform/pinned_file_native_win.h"

namespace bu::platform {
namespace {

// One SHA-256 computation of the AES provider, released on every path.
class Hash {
 public:
  Hash() {
    if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
      provider_ = 0;
      return;
    }
    if (!CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_)) hash_ = 0;
  }
  ~Hash() {
    if (hash_ != 0) CryptDestroyHash(hash_);
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;

  bool ready() const { return hash_ != 0; }
  bool add(const void* data, DWORD size) {
    return CryptHashData(hash_, static_cast<const BYTE*>(data), size, 0) != FALSE;
  }
  std::optional<Sha256Digest> finish() {
    Sha256Digest digest{};
    DWORD size = static_cast<DWORD>(digest.size());
    if (!CryptGetHashParam(hash_, HP_HASHVAL, digest.data(), &size, 0) || size != digest.size()) {
      return std::nullopt;
    }
    return digest;
  }

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
};

}  // namespace

std::optional<Sha256Digest> sha256Of(const void* data, std::size_t size) {
  Hash hash;
  if (!hash.ready()) return std::nullopt;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!hash.add(bytes, piece)) return std::nullopt;
    bytes += piece;
    size -= piece;
  }
  return hash.finish();
}

std::optional<Sha256Digest> sha256Of(const PinnedFile& file) {
  if (file.native() == nullptr) return std::nullopt;
  Hash hash;
  if (!hash.ready()) return std::nullopt;
  static constexpr DWORD kChunk = 256 * 1024;
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
  // Positioned reads from the start: the handle's own position is left to
  // its other readers.
  unsigned long long at = 0;
  for (;;) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(at);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!ReadFile(file.native()->file, buffer.get(), kChunk, &got, &position)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return std::nullopt;
    }
    if (got == 0) break;
    if (!hash.add(buffer.get(), got)) return std::nullopt;
    at += got;
  }
  return hash.finish();
}

std::optional<std::vector<unsigned char>> readPinnedFile(const PinnedFile& file,
                                                         std::size_t limit) {
  if (file.native() == nullptr) return std::nullopt;
  std::vector<unsigned char> bytes;
  unsigned char buffer[64 * 1024];
  for (;;) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(bytes.size());
    position.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(bytes.size()) >> 32);
    DWORD got = 0;
    if (!ReadFile(file.native()->file, buffer, sizeof buffer, &got, &position)) {
      if (GetLastError() == ERROR_HANDLE_EOF) return bytes;
      return std::nullopt;
    }
    if (got == 0) return bytes;
    if (bytes.size() + got > limit) return std::nullopt;
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
}

std::string pinnedBytesName(const PinnedFile&, const std::string& name) { return name; }

}  // namespace bu::platform
