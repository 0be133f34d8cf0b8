// The appended-signature trailer of a POSIX module, read from any file the
// package holds: the layout found always covers the file exactly, with a
// signature of at least one byte.
#include <cstdint>

#include "fuzz_support.h"
#include "platform/appended_signature_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto found = bu::platform::findAppendedSignature(data, size);
  if (found) {
    bu::fuzz::check(found->signatureSize > 0, "an empty signature was found");
    bu::fuzz::check(found->contentSize <= size && found->signatureSize <= size &&
                        found->contentSize + found->signatureSize +
                                bu::platform::kSignatureTrailerSize ==
                            size,
                    "the layout does not cover the file");
  }
  return 0;
}
