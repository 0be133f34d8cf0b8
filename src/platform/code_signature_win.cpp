// Authenticode through the Windows trust services. wintrust.dll and
// crypt32.dll are not linked: each check loads them from the system
// directory (never from the program's or the current directory, where a copy
// could be planted), looks up every function by name, and releases them,
// with the verification state and the file, when the check ends.
#include "platform/code_signature.h"

// clang-format off
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
// clang-format on

#include <array>
#include <cstddef>

#include "platform/pinned_file_native_win.h"

namespace bu::platform {
namespace {

const wchar_t kTrustLibraryName[] = L"wintrust.dll";
const wchar_t kCertificateLibraryName[] = L"crypt32.dll";

struct FunctionName {
  TrustFunction function;
  bool inCertificateLibrary;
  const char* name;
};

constexpr FunctionName kFunctionNames[] = {
    {TrustFunction::VerifyTrust, false, "WinVerifyTrust"},
    {TrustFunction::ProviderData, false, "WTHelperProvDataFromStateData"},
    {TrustFunction::ProviderSigner, false, "WTHelperGetProvSignerFromChain"},
    {TrustFunction::ProviderCertificate, false, "WTHelperGetProvCertFromChain"},
    {TrustFunction::CertificateName, true, "CertGetNameStringA"},
    {TrustFunction::EnhancedKeyUsage, true, "CertGetEnhancedKeyUsage"},
};
constexpr std::size_t kFunctionCount = sizeof kFunctionNames / sizeof kFunctionNames[0];

using VerifyTrustFunction = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProviderDataFunction = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProviderSignerFunction = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL,
                                                             DWORD);
using ProviderCertificateFunction = CRYPT_PROVIDER_CERT*(WINAPI*)(CRYPT_PROVIDER_SGNR*, DWORD);
using NameFunction = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPSTR, DWORD);
using UsageFunction = BOOL(WINAPI*)(PCCERT_CONTEXT, DWORD, PCERT_ENHKEY_USAGE, DWORD*);

// The request's sizes are those of the structures as this build lays them
// out: 48 and 16 bytes in the 32-bit program.
static_assert(sizeof(void*) != 4 || sizeof(WINTRUST_DATA) == 48, "WINTRUST_DATA layout");
static_assert(sizeof(void*) != 4 || sizeof(WINTRUST_FILE_INFO) == 16, "WINTRUST_FILE_INFO layout");

// Loads a library by its full path in the system directory; its own
// dependencies are then looked for there as well.
HMODULE loadSystemLibrary(const wchar_t* name) {
  std::array<wchar_t, MAX_PATH + 1> directory{};
  const UINT length = GetSystemDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
  if (length == 0 || length >= directory.size()) return nullptr;
  std::wstring path(directory.data(), length);
  path += L'\\';
  path += name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

class Library {
 public:
  Library() = default;
  ~Library() { reset(nullptr); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  void reset(HMODULE module) {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = module;
  }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_ = nullptr;
};

class WindowsCodeSignature final : public CodeSignature {
 public:
  // The pinned file's own handle, borrowed: it denies writers until the
  // module has been loaded.
  explicit WindowsCodeSignature(const PinnedFile& file)
      : file_(file.isOpen() ? file.native()->file : INVALID_HANDLE_VALUE) {}

  ~WindowsCodeSignature() override {
    closeVerificationState();
    certificateLibrary_.reset(nullptr);
    trustLibrary_.reset(nullptr);
  }

  bool fileOpened() const override { return file_ != INVALID_HANDLE_VALUE; }

  TrustLibraries loadLibraries() override {
    trustLibrary_.reset(loadSystemLibrary(kTrustLibraryName));
    if (trustLibrary_.get() == nullptr) return TrustLibraries::TrustLibraryMissing;
    certificateLibrary_.reset(loadSystemLibrary(kCertificateLibraryName));
    if (certificateLibrary_.get() == nullptr) return TrustLibraries::CertificateLibraryMissing;
    return TrustLibraries::Loaded;
  }

  bool resolve(TrustFunction function) override {
    for (std::size_t i = 0; i < kFunctionCount; ++i) {
      if (kFunctionNames[i].function != function) continue;
      const Library& library =
          kFunctionNames[i].inCertificateLibrary ? certificateLibrary_ : trustLibrary_;
      functions_[i] = library.get() != nullptr
                          ? GetProcAddress(library.get(), kFunctionNames[i].name)
                          : nullptr;
      return functions_[i] != nullptr;
    }
    return false;
  }

  bool verify() override {
    fileInfo_ = WINTRUST_FILE_INFO{};
    fileInfo_.cbStruct = sizeof(WINTRUST_FILE_INFO);
    fileInfo_.pcwszFilePath = nullptr;  // the file is given by its handle only
    fileInfo_.hFile = file_;
    fileInfo_.pgKnownSubject = nullptr;

    request_ = WINTRUST_DATA{};
    request_.cbStruct = sizeof(WINTRUST_DATA);
    request_.pPolicyCallbackData = nullptr;
    request_.pSIPClientData = nullptr;
    request_.dwUIChoice = WTD_UI_NONE;
    request_.fdwRevocationChecks = WTD_REVOKE_NONE;
    request_.dwUnionChoice = WTD_CHOICE_FILE;
    request_.pFile = &fileInfo_;
    request_.dwStateAction = WTD_STATEACTION_VERIFY;
    request_.hWVTStateData = nullptr;
    request_.pwszURLReference = nullptr;
    request_.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
    request_.dwUIContext = 0;

    const LONG result = function<VerifyTrustFunction>(TrustFunction::VerifyTrust)(
        static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &request_);
    return result == ERROR_SUCCESS || result == TRUST_E_PROVIDER_UNKNOWN;
  }

  bool loadProviderData() override {
    providerData_ =
        function<ProviderDataFunction>(TrustFunction::ProviderData)(request_.hWVTStateData);
    return providerData_ != nullptr;
  }

  bool loadSigner() override {
    signer_ = function<ProviderSignerFunction>(TrustFunction::ProviderSigner)(providerData_, 0,
                                                                              FALSE, 1);
    return signer_ != nullptr;
  }

  bool loadSignerCertificate() override {
    const CRYPT_PROVIDER_CERT* certificate =
        function<ProviderCertificateFunction>(TrustFunction::ProviderCertificate)(signer_, 0);
    certificate_ = certificate != nullptr ? certificate->pCert : nullptr;
    return certificate_ != nullptr && certificate_->pCertInfo != nullptr;
  }

  std::vector<unsigned char> encodedSubject() const override {
    const CERT_NAME_BLOB& subject = certificate_->pCertInfo->Subject;
    return std::vector<unsigned char>(subject.pbData, subject.pbData + subject.cbData);
  }

  KeyUsageQuery enhancedKeyUsage(std::vector<std::string>& identifiers) override {
    const auto query = function<UsageFunction>(TrustFunction::EnhancedKeyUsage);
    // Flags 0: the certificate's extension and its stored property both count.
    DWORD size = 0;
    if (!query(certificate_, 0, nullptr, &size)) return KeyUsageQuery::SizeUnavailable;
    if (size < sizeof(CERT_ENHKEY_USAGE)) return KeyUsageQuery::ListUnavailable;
    std::vector<unsigned char> buffer(size);  // may throw; the caller guards
    const auto usage = reinterpret_cast<PCERT_ENHKEY_USAGE>(buffer.data());
    if (!query(certificate_, 0, usage, &size)) return KeyUsageQuery::ListUnavailable;
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
      identifiers.emplace_back(usage->rgpszUsageIdentifier[i]);
    }
    return KeyUsageQuery::Answered;
  }

  std::string commonName(std::size_t capacity) override {
    // Zero-filled, so a call that writes nothing leaves an empty name.
    std::vector<char> name(capacity + 1, '\0');
    function<NameFunction>(TrustFunction::CertificateName)(
        certificate_, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name.data(),
        static_cast<DWORD>(capacity));
    return std::string(name.data());
  }

 private:
  template <typename Function>
  Function function(TrustFunction which) const {
    for (std::size_t i = 0; i < kFunctionCount; ++i) {
      if (kFunctionNames[i].function == which) {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(functions_[i]));
      }
    }
    return nullptr;
  }

  // The platform keeps state after a verification until it is told to let
  // it go; the signer and certificate pointers die with it.
  void closeVerificationState() {
    const auto verifyTrust = function<VerifyTrustFunction>(TrustFunction::VerifyTrust);
    if (request_.hWVTStateData == nullptr || verifyTrust == nullptr) return;
    request_.dwStateAction = WTD_STATEACTION_CLOSE;
    verifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &request_);
    request_.hWVTStateData = nullptr;
  }

  HANDLE file_;
  Library trustLibrary_;
  Library certificateLibrary_;
  std::array<FARPROC, kFunctionCount> functions_{};
  GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_FILE_INFO fileInfo_{};
  WINTRUST_DATA request_{};
  CRYPT_PROVIDER_DATA* providerData_ = nullptr;
  CRYPT_PROVIDER_SGNR* signer_ = nullptr;
  PCCERT_CONTEXT certificate_ = nullptr;
};

}  // namespace

std::unique_ptr<CodeSignature> openCodeSignature(const PinnedFile& file) {
  return std::make_unique<WindowsCodeSignature>(file);
}

}  // namespace bu::platform
