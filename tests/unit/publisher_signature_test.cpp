// The signature check's decisions and log lines, over a scripted platform:
// every refusal the platform can give, in every step, and the class and name
// tests on the signing certificate.
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "platform/code_signature.h"
#include "test_support.h"
#include "trust/publisher_signature.h"

namespace bu::test {
namespace {

using platform::KeyUsageQuery;
using platform::TrustFunction;
using platform::TrustLibraries;

// Where the scripted platform refuses (or throws, for the steps that can).
enum class Step {
  None,
  OpenFile,
  TrustLibrary,
  CertificateLibrary,
  VerifyFunction,
  Verify,
  ProviderDataFunction,
  ProviderData,
  SignerFunction,
  Signer,
  CertificateFunction,
  Certificate,
  NameFunction,
  UsageFunction,
  UsageSize,
  UsageList,
  Name,
};

const char kCodeSigning[] = "1.3.6.1.5.5.7.3.3";
const char kMarker[] = "TVX Class-3 Signer";

class ScriptedSignature final : public platform::CodeSignature {
 public:
  Step refuseAt = Step::None;
  Step throwAt = Step::None;
  std::vector<unsigned char> subject = std::vector<unsigned char>(60, 'x');
  std::vector<std::string> usages = {kCodeSigning};
  std::string name = "Tarvenix Software Ltd";
  bool usageQueried = false;
  bool nameRead = false;

  bool fileOpened() const override { return refuseAt != Step::OpenFile; }
  TrustLibraries loadLibraries() override {
    if (refuseAt == Step::TrustLibrary) return TrustLibraries::TrustLibraryMissing;
    if (refuseAt == Step::CertificateLibrary) return TrustLibraries::CertificateLibraryMissing;
    return TrustLibraries::Loaded;
  }
  bool resolve(TrustFunction function) override {
    switch (function) {
      case TrustFunction::VerifyTrust:
        return refuseAt != Step::VerifyFunction;
      case TrustFunction::ProviderData:
        return refuseAt != Step::ProviderDataFunction;
      case TrustFunction::ProviderSigner:
        return refuseAt != Step::SignerFunction;
      case TrustFunction::ProviderCertificate:
        return refuseAt != Step::CertificateFunction;
      case TrustFunction::CertificateName:
        return refuseAt != Step::NameFunction;
      case TrustFunction::EnhancedKeyUsage:
        return refuseAt != Step::UsageFunction;
    }
    return false;
  }
  bool verify() override { return step(Step::Verify); }
  bool loadProviderData() override { return step(Step::ProviderData); }
  bool loadSigner() override { return step(Step::Signer); }
  bool loadSignerCertificate() override { return step(Step::Certificate); }
  std::vector<unsigned char> encodedSubject() const override { return subject; }
  KeyUsageQuery enhancedKeyUsage(std::vector<std::string>& identifiers) override {
    usageQueried = true;
    if (throwAt == Step::UsageList) throw std::bad_alloc();
    if (refuseAt == Step::UsageSize) return KeyUsageQuery::SizeUnavailable;
    if (refuseAt == Step::UsageList) return KeyUsageQuery::ListUnavailable;
    identifiers = usages;
    return KeyUsageQuery::Answered;
  }
  std::string commonName(std::size_t capacity) override {
    nameRead = true;
    if (throwAt == Step::Name) throw std::bad_alloc();
    return name.substr(0, capacity - 1);
  }

 private:
  bool step(Step which) const {
    if (throwAt == which) throw std::bad_alloc();
    return refuseAt != which;
  }
};

const std::string kBegin = "AUTH TVXSIGNED BEGIN: Started.";
const std::string kClassBegin =
    "AUTH TVXSIGNED CLASS3 BEGIN: Entering CriticalSection Initialization .";
const std::string kCodeSigningFound = "AUTH TVXSIGNED CLASS3: Finding code signing : TRUE.";
const std::string kMarkerFound =
    "AUTH TVXSIGNED CLASS3: Succeeded find the class 3 ID, returning TRUE.";
const std::string kSigned = "AUTH TVXSIGNED END: Finished processing. Returns TRUE";
const std::string kNotSigned = "AUTH TVXSIGNED: Not singed by Tarvenix, returning FALSE.";

struct StepCase {
  const char* name;
  Step refuseAt;
  Step throwAt;
  bool answer;
  std::vector<std::string> log;
};

void PrintTo(const StepCase& c, std::ostream* out) { *out << c.name; }

const StepCase kStepCases[] = {
    {"Signed", Step::None, Step::None, true, {kBegin, kClassBegin, kCodeSigningFound, kSigned}},
    {"FileNotOpened", Step::OpenFile, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: File handle is invalid, returning FALSE."}},
    // Without the trust services nothing is verified, so nothing is trusted.
    {"TrustLibraryMissingRefuses", Step::TrustLibrary, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: Failed to load wintrust.dll."}},
    {"CertificateLibraryMissingRefuses", Step::CertificateLibrary, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: Failed to load crypt32.dll."}},
    {"VerifyFunctionMissing", Step::VerifyFunction, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: Failed to load wintrust.dll function pointer."}},
    {"VerifyThrows", Step::None, Step::Verify, false,
     {kBegin, "AUTH TVXSIGNED: Failed to get wintrust.dll function pointer, returning FALSE."}},
    {"PlatformRefuses", Step::Verify, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: Provider is unknown, returning FALSE."}},
    {"ProviderDataFunctionMissing", Step::ProviderDataFunction, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: Failed to get crypt32.dll function pointer."}},
    {"ProviderDataNull", Step::ProviderData, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: State data structure pointer is null."}},
    {"ProviderDataThrows", Step::None, Step::ProviderData, false,
     {kBegin, "AUTH TVXSIGNED: Failed to get StateData structure."}},
    {"SignerFunctionMissing", Step::SignerFunction, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: CYPT_PROVIDER_SGNR is null."}},
    {"SignerNull", Step::Signer, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: CRYPT_PROVIDER_SGNR returning null, logging at line 388."}},
    {"SignerThrows", Step::None, Step::Signer, false, {kBegin}},
    {"CertificateFunctionMissing", Step::CertificateFunction, Step::None, false,
     {kBegin,
      "AUTH TVXSIGNED: Checking CRYPT_PROVIDER_CERT function pointer returning null, logging at "
      "line 399."}},
    {"CertificateThrows", Step::None, Step::Certificate, false,
     {kBegin,
      "AUTH TVXSIGNED: Checking CRYPT_PROVIDER_CERT check throws exception, logging at line "
      "412."}},
    {"CertificateNull", Step::Certificate, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: Checking CRYPT_PROVIDER_SGNR returning null, logging at line 419."}},
    {"NameFunctionMissing", Step::NameFunction, Step::None, false,
     {kBegin, "AUTH TVXSIGNED: pCertGetNameStringA returning null."}},
    {"UsageFunctionMissing", Step::UsageFunction, Step::None, false,
     {kBegin, kClassBegin,
      "AUTH TVXSIGNED CLASS3: Failed to get EKU function pointer , logged at line 189"}},
    {"UsageSizeUnavailable", Step::UsageSize, Step::None, false,
     {kBegin, kClassBegin, "AUTH TVXSIGNED CLASS3: Failed to get EKU size , logged at line 201"}},
    {"UsageListUnavailable", Step::UsageList, Step::None, false,
     {kBegin, kClassBegin,
      "AUTH TVXSIGNED CLASS3: Failed to allocate buffer for EKU , logged at line 211"}},
    {"UsageAllocationFails", Step::None, Step::UsageList, false,
     {kBegin, kClassBegin, "AUTH TVXSIGNED CLASS3: Failed to validate EKU , logged at line 224"}},
    {"NameThrows", Step::None, Step::Name, false, {kBegin, kClassBegin, kCodeSigningFound}},
};

class SignatureSteps : public ProgramTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(SignatureSteps, AnswerAndLogLines) {
  ScriptedSignature signature;
  signature.refuseAt = GetParam().refuseAt;
  signature.throwAt = GetParam().throwAt;
  EXPECT_EQ(checkFileSignature(signature), GetParam().answer);
  EXPECT_EQ(logMessages(), GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(Steps, SignatureSteps, ::testing::ValuesIn(kStepCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct NameCase {
  const char* commonName;
  bool answer;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << '"' << c.commonName << '"'; }

class CommonName : public ProgramTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(CommonName, MustContainTheMakersNameAndABlank) {
  ScriptedSignature signature;
  signature.name = GetParam().commonName;
  EXPECT_EQ(checkFileSignature(signature), GetParam().answer);
  EXPECT_EQ(logMessages().back(), GetParam().answer ? kSigned : kNotSigned);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CommonName,
    ::testing::Values(NameCase{"Tarvenix Software Ltd", true},
                      NameCase{"Acme Tarvenix Group", true},
                      NameCase{"Tarvenix ", true}, NameCase{"Tarvenix", false},
                      NameCase{"tarvenix software ltd", false},
                      NameCase{"Tarvenix\tSoftware", false}, NameCase{"TarvenixSoftware", false},
                      NameCase{"Other Corp", false}, NameCase{"", false}));

// A subject of `size` bytes with the marker's first `length` bytes at `at`.
std::vector<unsigned char> subjectWithMarker(std::size_t size, std::size_t at,
                                             std::size_t length = 18) {
  std::vector<unsigned char> subject(size, '.');
  for (std::size_t i = 0; i < length && at + i < size; ++i) subject[at + i] = kMarker[i];
  return subject;
}

struct MarkerCase {
  const char* name;
  std::vector<unsigned char> subject;
  bool found;
};

void PrintTo(const MarkerCase& c, std::ostream* out) { *out << c.name; }

class ClassMarker : public ProgramTest, public ::testing::WithParamInterface<MarkerCase> {};

// Without usages the class test passes on the marker alone.
TEST_P(ClassMarker, IsLookedForFromTheSecondByteToTwentyBeforeTheEnd) {
  ScriptedSignature signature;
  signature.subject = GetParam().subject;
  signature.usages.clear();
  EXPECT_EQ(IsClass3(signature), GetParam().found);
  EXPECT_EQ(signature.usageQueried, !GetParam().found);
  std::vector<std::string> expected = {kClassBegin};
  if (GetParam().found) expected.push_back(kMarkerFound);
  EXPECT_EQ(logMessages(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Subjects, ClassMarker,
    ::testing::Values(MarkerCase{"AtSecondByte", subjectWithMarker(40, 1), true},
                      MarkerCase{"AtFirstByte", subjectWithMarker(40, 0), false},
                      MarkerCase{"AtLastStart", subjectWithMarker(40, 20), true},
                      MarkerCase{"OneAfterLastStart", subjectWithMarker(40, 21), false},
                      MarkerCase{"EndingTheSubject", subjectWithMarker(40, 22), false},
                      MarkerCase{"SubjectOf21Bytes", subjectWithMarker(21, 1), true},
                      MarkerCase{"SubjectOf20Bytes", subjectWithMarker(20, 1), false},
                      MarkerCase{"Truncated", subjectWithMarker(40, 5, 17), false},
                      MarkerCase{"EmptySubject", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramTest, MarkerIsFoundByEveryClassTestOfTheProcess) {
  for (int i = 0; i < 3; ++i) {
    ScriptedSignature signature;
    signature.subject = subjectWithMarker(60, 30);
    EXPECT_TRUE(IsClass3(signature)) << "test " << i;
  }
}

struct UsageCase {
  std::vector<std::string> usages;
  bool answer;
};

void PrintTo(const UsageCase& c, std::ostream* out) {
  for (const auto& usage : c.usages) *out << usage << ' ';
}

class KeyUsage : public ProgramTest, public ::testing::WithParamInterface<UsageCase> {};

// A certificate that fails the class test is refused before its name is read.
TEST_P(KeyUsage, CodeSigningAnywhereInTheList) {
  ScriptedSignature signature;
  signature.usages = GetParam().usages;
  EXPECT_EQ(checkFileSignature(signature), GetParam().answer);
  EXPECT_EQ(signature.nameRead, GetParam().answer);
  const std::vector<std::string> refused = {kBegin, kClassBegin};
  const std::vector<std::string> passed = {kBegin, kClassBegin, kCodeSigningFound, kSigned};
  EXPECT_EQ(logMessages(), GetParam().answer ? passed : refused);
}

INSTANTIATE_TEST_SUITE_P(
    Usages, KeyUsage,
    ::testing::Values(UsageCase{{kCodeSigning}, true},
                      UsageCase{{"1.3.6.1.5.5.7.3.1", "1.3.6.1.5.5.7.3.2", kCodeSigning}, true},
                      UsageCase{{"1.3.6.1.5.5.7.3.1"}, false}, UsageCase{{}, false},
                      UsageCase{{"1.3.6.1.5.5.7.3.31"}, false},
                      UsageCase{{"1.3.6.1.5.5.7.3.3.1"}, false}));

}  // namespace
}  // namespace bu::test
