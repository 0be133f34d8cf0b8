#include "trust/package_payload.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "config/configuration.h"
#include "config/package_path.h"
#include "config/result_codes.h"
#include "log/write_log.h"
#include "platform/file_digest.h"
#include "platform/file_path.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "trust/package_manifest.h"
#include "trust/publisher_signature.h"

namespace bu {
namespace {

const wchar_t kProgramKey[] = L"SOFTWARE\\Tarvenix\\BrevantUpdater";
const wchar_t kPolicyValue[] = L"RequirePackageManifest";

const char kVerified[] =
    "PACKAGE MANIFEST SUCCESS: Verified the package manifest buManifest.dll; it lists %u "
    "file(s).";
const char kAbsent[] =
    "PACKAGE MANIFEST: The package carries no manifest buManifest.dll; its payload was not "
    "checked.";
const char kRequired[] =
    "PACKAGE MANIFEST ERROR: This machine requires a package manifest and the package carries "
    "none. Nothing will be deployed.";
const char kNotSigned[] =
    "PACKAGE MANIFEST ERROR: The package manifest buManifest.dll is not Tarvenix Signed. Nothing "
    "will be deployed.";
const char kDamaged[] =
    "PACKAGE MANIFEST ERROR: The package manifest buManifest.dll cannot be read as a manifest. "
    "Nothing will be deployed.";
const char kLacksConfiguration[] =
    "PACKAGE MANIFEST ERROR: The package manifest buManifest.dll does not list buConfig.xml. "
    "Nothing will be deployed.";
const char kMatches[] = "PAYLOAD CHECK SUCCESS: %s matches the package manifest.";
const char kMismatch[] =
    "PAYLOAD CHECK FAILED: %s does not match the package manifest: expected SHA-256 %s, found "
    "%s.";
const char kUnreadable[] =
    "PAYLOAD CHECK FAILED: %s could not be read: the package manifest expects SHA-256 %s.";
const char kUnlisted[] = "PAYLOAD CHECK FAILED: %s is not listed in the package manifest.";

// The run's verified manifest; null when the package has none.
std::unique_ptr<PackageManifest> runManifest;

// The policy, in either registry view: a value set in one of them counts.
bool manifestRequired() {
  for (const bool view64 : {true, false}) {
    platform::RegistryKey key;
    std::uint32_t value = 0;
    if (key.open(kProgramKey, view64) == 0 && key.queryNumber(kPolicyValue, value) &&
        value == 1) {
      return true;
    }
  }
  return false;
}

int refuse(const char* line) {
  WriteLog("%s", line);
  return kResultManifestRefused;
}

// Whether `digest` (null: the file could not be read) is what the manifest
// lists for `name`, with the line that says so.
bool matches(const std::string& name, const std::optional<platform::Sha256Digest>& digest) {
  const ManifestRecord* record = runManifest->find(name);
  if (record == nullptr) {
    WriteLog(kUnlisted, name.c_str());
    return false;
  }
  const std::string expected = digestText(record->digest);
  if (!digest) {
    WriteLog(kUnreadable, name.c_str(), expected.c_str());
    return false;
  }
  if (*digest != record->digest) {
    WriteLog(kMismatch, name.c_str(), expected.c_str(), digestText(*digest).c_str());
    return false;
  }
  WriteLog(kMatches, name.c_str());
  return true;
}

}  // namespace

int loadPackageManifest() {
  runManifest.reset();
  // A manifest reached through a link is never opened, as no package file
  // is: it counts as one that cannot be read.
  if (platform::passesLink(kManifestFileName)) return refuse(kDamaged);
  std::optional<std::vector<unsigned char>> image;
  const platform::PinnedFile file =
      platform::pinWithBytes(kManifestFileName, kManifestSizeLimit, image);
  if (!file.isOpen()) {
    if (manifestRequired()) return refuse(kRequired);
    WriteLog("%s", kAbsent);
    return kResultSuccess;
  }
  if (!verifyPublisherSignature(file)) return refuse(kNotSigned);
  std::optional<PackageManifest> manifest = manifestOfImage(image);
  if (!manifest) return refuse(kDamaged);
  if (manifest->find(kConfigurationFileName) == nullptr) return refuse(kLacksConfiguration);
  runManifest = std::make_unique<PackageManifest>(std::move(*manifest));
  WriteLog(kVerified, static_cast<unsigned>(runManifest->records().size()));
  return kResultSuccess;
}

bool configurationMatchesManifest(const unsigned char* bytes, std::size_t size) {
  if (!runManifest) return true;
  return matches(kConfigurationFileName, platform::sha256Of(bytes, size));
}

ArchivePayload checkArchivePayload(const std::string& name) {
  ArchivePayload payload;
  if (!runManifest) {
    payload.accepted = true;
    return payload;
  }
  // A name that leaves the package, or passes a link, is never opened.
  std::optional<platform::Sha256Digest> digest;
  if (isFileOfPackage(platform::ansiToWide(name))) {
    payload.pinned = platform::pinWithDigest(platform::ansiToWide(name), digest);
  }
  payload.accepted = matches(name, digest);
  if (!payload.accepted) payload.pinned = platform::PinnedFile();
  return payload;
}

}  // namespace bu
