#include "platform/file_digest.h"

#include "platform/file_digest_port.h"

namespace bu::platform {

std::optional<Sha256Digest> sha256Of(const void* data, std::size_t size) {
  Sha256 hash;
  if (!hash.ready() || !hash.add(data, size)) return std::nullopt;
  return hash.finish();
}

PinnedFile pinWithDigest(const std::wstring& path, std::optional<Sha256Digest>& digest) {
  digest.reset();
  Sha256 hash;
  if (!hash.ready()) return PinnedFile();
  PinnedFile file = PinnedFile::open(
      path, [&hash](const unsigned char* bytes, std::size_t size) { return hash.add(bytes, size); });
  if (file.isOpen()) digest = hash.finish();
  if (!digest) return PinnedFile();
  return file;
}

PinnedFile pinWithBytes(const std::wstring& path, std::size_t limit,
                        std::optional<std::vector<unsigned char>>& bytes) {
  std::vector<unsigned char> kept;
  bool tooLarge = false;
  PinnedFile file = PinnedFile::open(path, [&](const unsigned char* piece, std::size_t size) {
    tooLarge = tooLarge || size > limit - kept.size();
    if (!tooLarge) kept.insert(kept.end(), piece, piece + size);
    return true;
  });
  bytes.reset();
  if (file.isOpen() && !tooLarge) bytes = std::move(kept);
  return file;
}

}  // namespace bu::platform
