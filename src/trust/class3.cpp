// The class test on a signing certificate: the class marker in its encoded
// subject name, or else the code-signing usage in its enhanced key usage.
#include <cstring>
#include <string>
#include <vector>

#include "log/write_log.h"
#include "trust/publisher_signature.h"

namespace bu {
namespace {

using platform::KeyUsageQuery;

const char kBegin[] = "AUTH TVXSIGNED CLASS3 BEGIN: Entering CriticalSection Initialization .";
const char kMarkerFound[] =
    "AUTH TVXSIGNED CLASS3: Succeeded find the class 3 ID, returning TRUE.";
const char kNoUsageFunction[] =
    "AUTH TVXSIGNED CLASS3: Failed to get EKU function pointer , logged at line %d";
const char kNoUsageSize[] = "AUTH TVXSIGNED CLASS3: Failed to get EKU size , logged at line %d";
const char kNoUsageList[] =
    "AUTH TVXSIGNED CLASS3: Failed to allocate buffer for EKU , logged at line %d";
const char kCodeSigningFound[] = "AUTH TVXSIGNED CLASS3: Finding code signing : %s.";
const char kUsageFailed[] = "AUTH TVXSIGNED CLASS3: Failed to validate EKU , logged at line %d";
const char kTrue[] = "TRUE";

// The numbers these lines carry are fixed: they identify the line in reports.
constexpr int kNoUsageFunctionNumber = 189;
constexpr int kNoUsageSizeNumber = 201;
constexpr int kNoUsageListNumber = 211;
constexpr int kUsageFailedNumber = 224;

const char kCodeSigningUsage[] = "1.3.6.1.5.5.7.3.3";

// The class marker: 18 bytes that the maker's certificates of the accepted
// class carry in their subject name. The program holds it complemented, byte
// by byte, so that the text does not stand in the binary for anyone to find;
// it is restored once, by the first class test of the process.
constexpr std::size_t kMarkerLength = 18;

struct Marker {
  unsigned char bytes[kMarkerLength + 1];  // and a zero byte
};

constexpr Marker scrambled(const char (&text)[kMarkerLength + 1]) {
  Marker marker{};
  for (std::size_t i = 0; i < kMarkerLength; ++i) {
    marker.bytes[i] = static_cast<unsigned char>(~static_cast<unsigned char>(text[i]));
  }
  return marker;
}

Marker class3Marker = scrambled("TVX Class-3 Signer");
// Restored by the first call; the initialisation of a local static is
// thread-safe, so concurrent first tests stay safe without a lock.
const unsigned char* clearMarker() {
  static const bool restored = [] {
    for (unsigned char* p = class3Marker.bytes; *p != 0; ++p) *p = static_cast<unsigned char>(~*p);
    return true;
  }();
  (void)restored;
  return class3Marker.bytes;
}

// Candidate starts are 1 to n - 20: never the first byte (a DER name starts
// with its sequence tag) and never the last stretch of the name.
bool carriesMarker(const std::vector<unsigned char>& subject, const unsigned char* marker) {
  for (std::size_t k = 1; k + 20 <= subject.size(); ++k) {
    if (subject[k] == marker[0] && std::memcmp(&subject[k], marker, kMarkerLength) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsClass3(platform::CodeSignature& signature) {
  WriteLog("%s", kBegin);
  if (carriesMarker(signature.encodedSubject(), clearMarker())) {
    WriteLog("%s", kMarkerFound);
    return true;
  }

  if (!signature.resolve(platform::TrustFunction::EnhancedKeyUsage)) {
    WriteLog(kNoUsageFunction, kNoUsageFunctionNumber);
    return false;
  }
  try {
    std::vector<std::string> usages;
    switch (signature.enhancedKeyUsage(usages)) {
      case KeyUsageQuery::SizeUnavailable:
        WriteLog(kNoUsageSize, kNoUsageSizeNumber);
        return false;
      case KeyUsageQuery::ListUnavailable:
        WriteLog(kNoUsageList, kNoUsageListNumber);
        return false;
      case KeyUsageQuery::Answered:
        break;
    }
    for (const std::string& usage : usages) {
      if (usage == kCodeSigningUsage) {
        WriteLog(kCodeSigningFound, kTrue);
        return true;
      }
    }
    return false;  // no usage list at all counts as no code signing
  } catch (...) {
    // The list's buffer could not be had (or copied): no answer is a refusal.
    WriteLog(kUsageFailed, kUsageFailedNumber);
    return false;
  }
}

}  // namespace bu
