#include <openssl/evp.h>

#include <memory>
#include <string>

#include "platform/file_digest_port.h"
#include "platform/pinned_file_native_posix.h"

namespace bu::platform {

struct Sha256::State {
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (state_->context && EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1) {
    state_->context.reset();
  }
}

Sha256::~Sha256() = default;

bool Sha256::ready() const { return static_cast<bool>(state_->context); }

bool Sha256::add(const void* data, std::size_t size) {
  return EVP_DigestUpdate(state_->context.get(), data, size) == 1;
}

std::optional<Sha256Digest> Sha256::finish() {
  Sha256Digest digest{};
  unsigned size = 0;
  if (EVP_DigestFinal_ex(state_->context.get(), digest.data(), &size) != 1 ||
      size != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

std::string pinnedBytesName(const PinnedFile& file, const std::string& name) {
  if (file.native() == nullptr) return name;
  return "/proc/self/fd/" + std::to_string(file.native()->copy);
}

}  // namespace bu::platform
