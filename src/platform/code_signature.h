// The platform's code-signature services for one file: the trust check of
// its signature, then the signer and the signing certificate it names.
//
// Windows asks WinVerifyTrust about the Authenticode signature inside a PE
// file, with wintrust.dll and crypt32.dll loaded from the system directory
// for the length of one check. POSIX verifies, with OpenSSL, the CMS
// signature appended to the file (see appended_signature_posix.h).
//
// The steps mirror the Windows services one by one, so that the caller can
// log each refusal in the same words on every port. Steps that POSIX does not
// have (loading the libraries, looking up their functions) always succeed
// there. A step may throw (an allocation failing); the caller guards.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/pinned_file.h"

namespace bu::platform {

// The trust library functions, each looked up by name before its first use.
enum class TrustFunction {
  VerifyTrust,           // WinVerifyTrust
  ProviderData,          // WTHelperProvDataFromStateData
  ProviderSigner,        // WTHelperGetProvSignerFromChain
  ProviderCertificate,   // WTHelperGetProvCertFromChain
  CertificateName,       // CertGetNameStringA
  EnhancedKeyUsage,      // CertGetEnhancedKeyUsage
};

enum class TrustLibraries { Loaded, TrustLibraryMissing, CertificateLibraryMissing };

enum class KeyUsageQuery {
  Answered,         // the list was read; a certificate without the extension lists nothing
  SizeUnavailable,  // the size of the list could not be learnt
  ListUnavailable,  // the list could not be read into its buffer
};

// One file under check. Every handle it takes (file, libraries, verification
// state) is released when it is destroyed.
class CodeSignature {
 public:
  virtual ~CodeSignature() = default;

  // Whether the file could be opened for reading.
  virtual bool fileOpened() const = 0;

  virtual TrustLibraries loadLibraries() = 0;
  virtual bool resolve(TrustFunction function) = 0;

  // The platform's verdict on the signature and its chain: true when it
  // accepts the file (on Windows also when it knows no provider for it).
  virtual bool verify() = 0;

  // The verification's result, its first signer and that signer's
  // certificate, each false when the platform gives none.
  virtual bool loadProviderData() = 0;
  virtual bool loadSigner() = 0;
  virtual bool loadSignerCertificate() = 0;

  // The signing certificate, once loaded: its DER-encoded subject name, its
  // enhanced key usage identifiers in order, and the first common name of its
  // subject as 8-bit text cut to `capacity` bytes with the terminator.
  virtual std::vector<unsigned char> encodedSubject() const = 0;
  virtual KeyUsageQuery enhancedKeyUsage(std::vector<std::string>& identifiers) = 0;
  virtual std::string commonName(std::size_t capacity) = 0;

 protected:
  CodeSignature() = default;
  CodeSignature(const CodeSignature&) = delete;
  CodeSignature& operator=(const CodeSignature&) = delete;
};

// A check of the pinned file, read through the pinned file itself. A file
// that could not be opened gives an object whose fileOpened() is false. The
// pinned file must outlive the check.
std::unique_ptr<CodeSignature> openCodeSignature(const PinnedFile& file);

}  // namespace bu::platform
