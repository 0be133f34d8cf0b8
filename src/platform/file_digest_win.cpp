#include <windows.h>
#include <wincrypt.h>

#include "platform/file_digest_port.h"
#include "platform/pinned_file_native_win.h"

namespace bu::platform {

// The AES provider's SHA-256: advapi32 is imported already, and a new import
// would be found by the loader's search before the program could restrict it.
struct Sha256::State {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (!CryptAcquireContextW(&state_->provider, nullptr, nullptr, PROV_RSA_AES,
                            CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
    state_->provider = 0;
    return;
  }
  if (!CryptCreateHash(state_->provider, CALG_SHA_256, 0, 0, &state_->hash)) state_->hash = 0;
}

Sha256::~Sha256() {
  if (state_->hash != 0) CryptDestroyHash(state_->hash);
  if (state_->provider != 0) CryptReleaseContext(state_->provider, 0);
}

bool Sha256::ready() const { return state_->hash != 0; }

bool Sha256::add(const void* data, std::size_t size) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  while (size > 0) {
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!CryptHashData(state_->hash, bytes, piece, 0)) return false;
    bytes += piece;
    size -= piece;
  }
  return true;
}

std::optional<Sha256Digest> Sha256::finish() {
  Sha256Digest digest{};
  DWORD size = static_cast<DWORD>(digest.size());
  if (!CryptGetHashParam(state_->hash, HP_HASHVAL, digest.data(), &size, 0) ||
      size != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

std::string pinnedBytesName(const PinnedFile&, const std::string& name) { return name; }

}  // namespace bu::platform
