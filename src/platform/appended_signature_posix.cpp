#include "platform/appended_signature_posix.h"

#include <cstdint>
#include <cstring>

namespace bu::platform {

std::optional<AppendedSignature> findAppendedSignature(const unsigned char* file,
                                                       std::size_t size) {
  constexpr std::size_t kMagicSize = sizeof kSignatureMagic - 1;
  if (file == nullptr || size < kSignatureTrailerSize) return std::nullopt;
  const unsigned char* trailer = file + size - kSignatureTrailerSize;
  if (std::memcmp(trailer + kSignatureTrailerSize - kMagicSize, kSignatureMagic, kMagicSize) != 0) {
    return std::nullopt;
  }
  std::uint64_t length = 0;
  for (int i = 7; i >= 0; --i) length = (length << 8) | trailer[i];
  // Compared without adding, so no length can wrap around.
  if (length == 0 || length > size - kSignatureTrailerSize) return std::nullopt;
  const auto signatureSize = static_cast<std::size_t>(length);
  return AppendedSignature{size - kSignatureTrailerSize - signatureSize, signatureSize};
}

}  // namespace bu::platform
