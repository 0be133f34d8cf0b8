#include "platform/file_digest.h"

#include "platform/file_digest_port.h"

namespace bu::platform {
namespace {

constexpr std::size_t kChunk = 256 * 1024;

}  // namespace

std::optional<Sha256Digest> sha256Of(const void* data, std::size_t size) {
  Sha256 hash;
  if (!hash.ready() || !hash.add(data, size)) return std::nullopt;
  return hash.finish();
}

std::optional<Sha256Digest> sha256Of(const PinnedFile& file) {
  if (!file.isOpen()) return std::nullopt;
  Sha256 hash;
  if (!hash.ready()) return std::nullopt;
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
  for (unsigned long long at = 0;;) {
    const long long got = readPinnedAt(file, at, buffer.get(), kChunk);
    if (got < 0) return std::nullopt;
    if (got == 0) return hash.finish();
    if (!hash.add(buffer.get(), static_cast<std::size_t>(got))) return std::nullopt;
    at += static_cast<unsigned long long>(got);
  }
}

std::optional<std::vector<unsigned char>> readPinnedFile(const PinnedFile& file,
                                                         std::size_t limit) {
  if (!file.isOpen()) return std::nullopt;
  std::vector<unsigned char> bytes;
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
  for (;;) {
    const long long got = readPinnedAt(file, bytes.size(), buffer.get(), kChunk);
    if (got < 0) return std::nullopt;
    if (got == 0) return bytes;
    if (bytes.size() + static_cast<std::size_t>(got) > limit) return std::nullopt;
    bytes.insert(bytes.end(), buffer.get(), buffer.get() + got);
  }
}

}  // namespace bu::platform
