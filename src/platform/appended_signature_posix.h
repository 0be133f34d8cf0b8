// Where a POSIX file carries its signature. A PE file carries its Authenticode
// signature inside; a POSIX file carries it appended:
//
//   content    the file's own bytes
//   signature  a DER CMS SignedData over the content (detached), carrying
//              the signer's certificate chain
//   trailer    16 bytes: the signature's length in bytes, unsigned 64-bit
//              little-endian, then the 8 bytes "BUSIG001"
//
// Loaders read only what a file's own headers describe (an ELF shared object
// still loads with dlopen; a string module parses its content only), so the
// appended bytes change nothing for them. scripts/sign_file.sh writes this
// form with the stock `openssl cms` command.
#pragma once

#include <cstddef>
#include <optional>

namespace bu::platform {

constexpr char kSignatureMagic[] = "BUSIG001";
constexpr std::size_t kSignatureTrailerSize = 16;

struct AppendedSignature {
  std::size_t contentSize;    // the signature starts where the content ends
  std::size_t signatureSize;
};

// The layout of a file of `size` bytes, or nothing when it carries no
// well-formed trailer (an unsigned file).
std::optional<AppendedSignature> findAppendedSignature(const unsigned char* file,
                                                       std::size_t size);

}  // namespace bu::platform
