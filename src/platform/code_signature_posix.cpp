// The appended CMS signature (see appended_signature_posix.h), verified with
// OpenSSL against its default trust store: the system's certificates, or
// those SSL_CERT_FILE and SSL_CERT_DIR name, read once per process.
#include "platform/code_signature.h"

#include <climits>

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fcntl.h>

#include "platform/appended_signature_posix.h"
#include "platform/pinned_file_native_posix.h"
#include "platform/regular_file_posix.h"

namespace bu::platform {
namespace {

// Larger files are refused unread rather than held in memory whole.
constexpr std::size_t kLargestSignedFile = std::size_t{512} << 20;

template <typename T, void (*Free)(T*)>
struct OpenSslFree {
  void operator()(T* object) const { Free(object); }
};
template <typename T, void (*Free)(T*)>
using OpenSslPtr = std::unique_ptr<T, OpenSslFree<T, Free>>;

using Cms = OpenSslPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using Store = OpenSslPtr<X509_STORE, X509_STORE_free>;
using Bio = OpenSslPtr<BIO, BIO_free_all>;
using KeyUsage = OpenSslPtr<EXTENDED_KEY_USAGE, EXTENDED_KEY_USAGE_free>;

void freeOpenSslBytes(unsigned char* bytes) { OPENSSL_free(bytes); }
using OpenSslBytes = OpenSslPtr<unsigned char, freeOpenSslBytes>;

// The identifier in dotted numbers, e.g. "1.3.6.1.5.5.7.3.3".
bool dottedIdentifier(const ASN1_OBJECT* object, std::string& text) {
  const int length = OBJ_obj2txt(nullptr, 0, object, 1);
  if (length <= 0) return false;
  text.assign(static_cast<std::size_t>(length) + 1, '\0');
  if (OBJ_obj2txt(text.data(), length + 1, object, 1) != length) return false;
  text.resize(static_cast<std::size_t>(length));
  return true;
}

// The chain must end in a trusted root. The purpose is left open: whether
// the leaf may sign code is the class test's question, as it is on Windows.
Store newTrustStore() {
  Store store(X509_STORE_new());
  if (store == nullptr || X509_STORE_set_default_paths(store.get()) != 1 ||
      X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY) != 1) {
    return nullptr;
  }
  return store;
}

// Reading the store is most of a check's cost: the system's store decodes
// every one of its ~140 certificates each time it is read, some 30 ms, and a
// deployment checks three files per entry. Its files do not change in the
// seconds a run lasts, so the first check reads it and later ones share it
// (verification only reads a store; the certificates a hashed directory
// supplies on demand are cached in it). A store that could not be made is
// not kept: the next check tries again. The store lives until the process
// ends and is never freed: a destructor at exit could run after OpenSSL's own
// clean-up.
X509_STORE* sharedTrustStore() {
  static X509_STORE* store = nullptr;
  if (store == nullptr) store = newTrustStore().release();
  return store;
}

class PosixCodeSignature final : public CodeSignature {
 public:
  // A descriptor of its own on the pinned file's sealed copy.
  explicit PosixCodeSignature(const PinnedFile& file)
      : file_(file.isOpen() ? ::fcntl(file.native()->copy, F_DUPFD_CLOEXEC, 0) : -1) {}

  bool fileOpened() const override { return file_.opened(); }

  // No libraries to load and no functions to look up: OpenSSL is linked.
  TrustLibraries loadLibraries() override { return TrustLibraries::Loaded; }
  bool resolve(TrustFunction) override { return true; }

  bool verify() override {
    verified_ = checkSignature();
    ERR_clear_error();  // refusals leave their reasons queued; nobody reads them
    return verified_;
  }

  bool loadProviderData() override { return verified_ && cms_ != nullptr; }

  bool loadSigner() override {
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms_.get());
    signer_ = signers != nullptr ? sk_CMS_SignerInfo_value(signers, 0) : nullptr;
    return signer_ != nullptr;
  }

  bool loadSignerCertificate() override {
    certificate_ = nullptr;
    CMS_SignerInfo_get0_algs(signer_, nullptr, &certificate_, nullptr, nullptr);
    return certificate_ != nullptr;
  }

  std::vector<unsigned char> encodedSubject() const override {
    unsigned char* der = nullptr;
    const int length = i2d_X509_NAME(X509_get_subject_name(certificate_), &der);
    const OpenSslBytes owned(der);
    if (length <= 0 || der == nullptr) return {};
    return std::vector<unsigned char>(der, der + length);
  }

  KeyUsageQuery enhancedKeyUsage(std::vector<std::string>& identifiers) override {
    int critical = -1;
    const KeyUsage usage(static_cast<EXTENDED_KEY_USAGE*>(
        X509_get_ext_d2i(certificate_, NID_ext_key_usage, &critical, nullptr)));
    // No extension lists nothing; a duplicated or undecodable one has no
    // list to give.
    if (usage == nullptr) {
      return critical == -1 ? KeyUsageQuery::Answered : KeyUsageQuery::SizeUnavailable;
    }
    for (int i = 0; i < sk_ASN1_OBJECT_num(usage.get()); ++i) {
      std::string identifier;
      if (!dottedIdentifier(sk_ASN1_OBJECT_value(usage.get(), i), identifier)) {
        return KeyUsageQuery::ListUnavailable;
      }
      identifiers.push_back(identifier);
    }
    return KeyUsageQuery::Answered;
  }

  // The first common name of the subject, as UTF-8.
  std::string commonName(std::size_t capacity) override {
    const X509_NAME* subject = X509_get_subject_name(certificate_);
    const int index = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (index < 0 || capacity == 0) return {};
    const ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, value);
    const OpenSslBytes owned(utf8);
    if (length < 0 || utf8 == nullptr) return {};
    // As a C buffer of `capacity` bytes would hold it: cut, and ended at the
    // first zero byte.
    std::string name(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(length));
    name = name.substr(0, capacity - 1);
    return name.substr(0, name.find('\0'));
  }

 private:
  // The file's bytes are needed only here: the parsed signature keeps copies
  // of what it holds.
  bool checkSignature() {
    std::vector<unsigned char> bytes;
    if (!file_.readAll(bytes, kLargestSignedFile)) return false;
    const std::optional<AppendedSignature> layout =
        findAppendedSignature(bytes.data(), bytes.size());
    if (!layout || layout->signatureSize > static_cast<std::size_t>(LONG_MAX)) return false;

    const unsigned char* der = bytes.data() + layout->contentSize;
    const unsigned char* end = der + layout->signatureSize;
    cms_.reset(d2i_CMS_ContentInfo(nullptr, &der, static_cast<long>(layout->signatureSize)));
    // One SignedData that fills its place exactly and covers the content
    // from outside (detached), with exactly one signer.
    if (cms_ == nullptr || der != end) return false;
    if (OBJ_obj2nid(CMS_get0_type(cms_.get())) != NID_pkcs7_signed) return false;
    if (CMS_is_detached(cms_.get()) != 1) return false;
    if (sk_CMS_SignerInfo_num(CMS_get0_SignerInfos(cms_.get())) != 1) return false;

    // The chain must end in a trusted root and hold at the current time.
    X509_STORE* store = sharedTrustStore();
    if (store == nullptr) return false;
    if (layout->contentSize > static_cast<std::size_t>(INT_MAX)) return false;
    const Bio content(BIO_new_mem_buf(bytes.data(), static_cast<int>(layout->contentSize)));
    if (content == nullptr) return false;
    return CMS_verify(cms_.get(), nullptr, store, content.get(), nullptr, CMS_BINARY) == 1;
  }

  RegularFile file_;
  Cms cms_;
  bool verified_ = false;
  CMS_SignerInfo* signer_ = nullptr;  // owned by cms_
  X509* certificate_ = nullptr;       // owned by cms_
};

}  // namespace

std::unique_ptr<CodeSignature> openCodeSignature(const PinnedFile& file) {
  return std::make_unique<PosixCodeSignature>(file);
}

}  // namespace bu::platform
