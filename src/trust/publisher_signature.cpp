#include "trust/publisher_signature.h"

#include <optional>

#include "log/write_log.h"

namespace bu {
namespace {

using platform::TrustFunction;
using platform::TrustLibraries;

const char kBegin[] = "AUTH TVXSIGNED BEGIN: Started.";
const char kFileNotOpened[] = "AUTH TVXSIGNED: File handle is invalid, returning FALSE.";
const char kNoTrustLibrary[] = "AUTH TVXSIGNED: Failed to load wintrust.dll.";
const char kNoCertificateLibrary[] = "AUTH TVXSIGNED: Failed to load crypt32.dll.";
const char kNoVerifyFunction[] = "AUTH TVXSIGNED: Failed to load wintrust.dll function pointer.";
const char kVerifyFailed[] =
    "AUTH TVXSIGNED: Failed to get wintrust.dll function pointer, returning FALSE.";
const char kRefused[] = "AUTH TVXSIGNED: Provider is unknown, returning FALSE.";
const char kNoProviderDataFunction[] =
    "AUTH TVXSIGNED: Failed to get crypt32.dll function pointer.";
const char kNoProviderData[] = "AUTH TVXSIGNED: State data structure pointer is null.";
const char kProviderDataFailed[] = "AUTH TVXSIGNED: Failed to get StateData structure.";
const char kNoSignerFunction[] = "AUTH TVXSIGNED: CYPT_PROVIDER_SGNR is null.";
const char kNoSigner[] =
    "AUTH TVXSIGNED: CRYPT_PROVIDER_SGNR returning null, logging at line %d.";
const char kNoCertificateFunction[] =
    "AUTH TVXSIGNED: Checking CRYPT_PROVIDER_CERT function pointer returning null, logging at "
    "line %d.";
const char kCertificateFailed[] =
    "AUTH TVXSIGNED: Checking CRYPT_PROVIDER_CERT check throws exception, logging at line %d.";
const char kNoCertificate[] =
    "AUTH TVXSIGNED: Checking CRYPT_PROVIDER_SGNR returning null, logging at line %d.";
const char kNoNameFunction[] = "AUTH TVXSIGNED: pCertGetNameStringA returning null.";
const char kSigned[] = "AUTH TVXSIGNED END: Finished processing. Returns TRUE";
const char kNotSigned[] = "AUTH TVXSIGNED: Not singed by Tarvenix, returning FALSE.";

// The numbers these lines carry are fixed: they identify the line in reports.
constexpr int kNoSignerNumber = 388;
constexpr int kNoCertificateFunctionNumber = 399;
constexpr int kCertificateFailedNumber = 412;
constexpr int kNoCertificateNumber = 419;

// The maker's name and the blank after it, anywhere in the common name,
// byte for byte and case-sensitive.
const char kMakerName[] = "Tarvenix ";
// Capacity of the common name, in bytes with the terminator.
constexpr std::size_t kCommonNameCapacity = 260;

// Runs a platform step that may throw: an empty answer when it did.
template <typename Step>
std::optional<bool> guarded(Step step) {
  try {
    return step();
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

bool checkFileSignature(platform::CodeSignature& signature) {
  WriteLog("%s", kBegin);
  if (!signature.fileOpened()) {
    WriteLog("%s", kFileNotOpened);
    return false;
  }

  // Without the trust services nothing can be verified, so nothing is
  // trusted: a missing library refuses the file like a bad signature.
  switch (signature.loadLibraries()) {
    case TrustLibraries::TrustLibraryMissing:
      WriteLog("%s", kNoTrustLibrary);
      return false;
    case TrustLibraries::CertificateLibraryMissing:
      WriteLog("%s", kNoCertificateLibrary);
      return false;
    case TrustLibraries::Loaded:
      break;
  }

  if (!signature.resolve(TrustFunction::VerifyTrust)) {
    WriteLog("%s", kNoVerifyFunction);
    return false;
  }
  const std::optional<bool> accepted = guarded([&] { return signature.verify(); });
  if (!accepted) {
    WriteLog("%s", kVerifyFailed);
    return false;
  }
  if (!*accepted) {
    WriteLog("%s", kRefused);
    return false;
  }

  if (!signature.resolve(TrustFunction::ProviderData)) {
    WriteLog("%s", kNoProviderDataFunction);
    return false;
  }
  const std::optional<bool> providerData = guarded([&] { return signature.loadProviderData(); });
  if (!providerData) {
    WriteLog("%s", kProviderDataFailed);
    return false;
  }
  if (!*providerData) {
    WriteLog("%s", kNoProviderData);
    return false;
  }

  if (!signature.resolve(TrustFunction::ProviderSigner)) {
    WriteLog("%s", kNoSignerFunction);
    return false;
  }
  const std::optional<bool> signer = guarded([&] { return signature.loadSigner(); });
  if (!signer) return false;
  if (!*signer) {
    WriteLog(kNoSigner, kNoSignerNumber);
    return false;
  }

  if (!signature.resolve(TrustFunction::ProviderCertificate)) {
    WriteLog(kNoCertificateFunction, kNoCertificateFunctionNumber);
    return false;
  }
  const std::optional<bool> certificate =
      guarded([&] { return signature.loadSignerCertificate(); });
  if (!certificate) {
    WriteLog(kCertificateFailed, kCertificateFailedNumber);
    return false;
  }
  if (!*certificate) {
    WriteLog(kNoCertificate, kNoCertificateNumber);
    return false;
  }

  if (!signature.resolve(TrustFunction::CertificateName)) {
    WriteLog("%s", kNoNameFunction);
    return false;
  }
  if (!IsClass3(signature)) return false;

  const std::optional<bool> byMaker = guarded([&] {
    return signature.commonName(kCommonNameCapacity).find(kMakerName) != std::string::npos;
  });
  if (!byMaker) return false;
  if (!*byMaker) {
    WriteLog("%s", kNotSigned);
    return false;
  }
  WriteLog("%s", kSigned);
  return true;
}

bool verifyPublisherSignature(const std::wstring& path) {
  try {
    return verifyPublisherSignature(platform::PinnedFile::open(path));
  } catch (...) {
    return false;
  }
}

bool verifyPublisherSignature(const platform::PinnedFile& file) {
  try {
    const std::unique_ptr<platform::CodeSignature> signature = platform::openCodeSignature(file);
    return checkFileSignature(*signature);
  } catch (...) {
    // Only an allocation outside the guarded steps gets here; a check that
    // could not finish trusts nothing.
    return false;
  }
}

}  // namespace bu
