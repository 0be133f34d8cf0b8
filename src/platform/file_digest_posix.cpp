#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/file_digest.h"
#include "platform/pinned_file_native_posix.h"

namespace bu::platform {
namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

Context startSha256() {
  Context context(EVP_MD_CTX_new());
  if (context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) context.reset();
  return context;
}

std::optional<Sha256Digest> finish(EVP_MD_CTX* context) {
  Sha256Digest digest{};
  unsigned size = 0;
  if (EVP_DigestFinal_ex(context, digest.data(), &size) != 1 || size != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace

std::optional<Sha256Digest> sha256Of(const void* data, std::size_t size) {
  const Context context = startSha256();
  if (!context || EVP_DigestUpdate(context.get(), data, size) != 1) return std::nullopt;
  return finish(context.get());
}

std::optional<Sha256Digest> sha256Of(const PinnedFile& file) {
  if (file.native() == nullptr) return std::nullopt;
  const Context context = startSha256();
  if (!context) return std::nullopt;
  // Positioned reads: the sealed copy's file offset is left to its other
  // readers.
  static constexpr std::size_t kChunk = 256 * 1024;
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
  off_t at = 0;
  for (;;) {
    const ssize_t got = ::pread(file.native()->copy, buffer.get(), kChunk, at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    if (EVP_DigestUpdate(context.get(), buffer.get(), static_cast<std::size_t>(got)) != 1) {
      return std::nullopt;
    }
    at += got;
  }
  return finish(context.get());
}

std::optional<std::vector<unsigned char>> readPinnedFile(const PinnedFile& file,
                                                         std::size_t limit) {
  if (file.native() == nullptr) return std::nullopt;
  std::vector<unsigned char> bytes;
  unsigned char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::pread(file.native()->copy, buffer, sizeof buffer,
                                static_cast<off_t>(bytes.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return bytes;
    if (bytes.size() + static_cast<std::size_t>(got) > limit) return std::nullopt;
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
}

std::string pinnedBytesName(const PinnedFile& file, const std::string& name) {
  if (file.native() == nullptr) return name;
  return "/proc/self/fd/" + std::to_string(file.native()->copy);
}

}  // namespace bu::platform
