#include "check/manifest_check.h"

#include <tinyxml.h>

#include <cstdio>
#include <optional>

#include "config/ascii_case.h"
#include "config/configuration.h"
#include "config/package_path.h"
#include "config/result_codes.h"
#include "config/update_entry.h"
#include "platform/file_digest.h"
#include "platform/file_path.h"
#include "platform/pinned_file.h"
#include "platform/text.h"
#include "trust/manifest_image.h"
#include "trust/package_manifest.h"
#include "trust/publisher_signature.h"

namespace bu::check {
namespace {

const char kPackage[] = "package";

// The digest of a file of the package, read once; null when it is not a
// readable file of the package.
std::optional<platform::Sha256Digest> digestOf(const std::string& name) {
  const std::wstring path = platform::ansiToWide(name);
  if (!isFileOfPackage(path)) return std::nullopt;
  std::optional<platform::Sha256Digest> digest;
  platform::pinWithDigest(path, digest);
  return digest;
}

// buConfig.xml first, then each archive the configuration names, once.
std::vector<std::string> payloadNames() {
  std::vector<std::string> names{kConfigurationFileName};
  for (const UpdateEntry& entry : updateEntries) {
    bool listed = false;
    for (const std::string& name : names) {
      listed = listed || lowerCasedAscii(name) == lowerCasedAscii(entry.updateFile);
    }
    if (!listed) names.push_back(entry.updateFile);
  }
  return names;
}

void add(std::vector<Finding>& findings, const std::string& check, Level level,
         const std::string& detail) {
  findings.push_back({kPackage, check, level, detail});
}

// Whether each file of the payload matches the manifest, and whether the
// manifest lists files the configuration does not name.
void comparePayload(std::vector<Finding>& findings, const PackageManifest& manifest) {
  const std::vector<std::string> names = payloadNames();
  for (const std::string& name : names) {
    const std::string check = "manifest: " + name;
    const bool configuration = name == kConfigurationFileName;
    const std::string outcome = configuration ? "every run ends (101)" : "the entry fails (109)";
    const ManifestRecord* record = manifest.find(name);
    const std::optional<platform::Sha256Digest> digest = digestOf(name);
    if (record == nullptr) {
      add(findings, check, Level::Error, "not listed: " + outcome);
    } else if (!digest) {
      add(findings, check, Level::Error, "listed, but missing or unreadable: " + outcome);
    } else if (*digest != record->digest) {
      add(findings, check, Level::Error,
          "differs: listed " + digestText(record->digest) + ", found " + digestText(*digest) +
              ": " + outcome);
    } else {
      add(findings, check, Level::Ok, "matches");
    }
  }
  for (const ManifestRecord& record : manifest.records()) {
    bool named = false;
    for (const std::string& name : names) {
      named = named || lowerCasedAscii(name) == lowerCasedAscii(record.name);
    }
    if (!named) {
      add(findings, "manifest: " + record.name, Level::Warning,
          "listed, but the configuration does not name it: never checked");
    }
  }
}

}  // namespace

bool writePackageManifest(std::string& problem, std::size_t& files) {
  TiXmlDocument document;
  if (loadConfigurationFile(document) != kResultConfigLoaded ||
      parseConfiguration(document) == kResultConfigNoRoot) {
    problem = "buConfig.xml cannot be read: run brevCheck on the package first";
    return false;
  }
  std::vector<ManifestRecord> records;
  for (const std::string& name : payloadNames()) {
    const std::optional<platform::Sha256Digest> digest = digestOf(name);
    if (!digest) {
      problem = name + " is missing, unreadable, a link, or not a file of the package";
      return false;
    }
    records.push_back({name, *digest});
  }
  const std::vector<unsigned char> image = manifestImage(manifestText(records));
  // Written beside, then put in place: a failed write leaves no half manifest.
  const std::string temporary = std::string(kManifestFileNameText) + ".new";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  bool written = file != nullptr && std::fwrite(image.data(), 1, image.size(), file) == image.size();
  if (file != nullptr) written = std::fclose(file) == 0 && written;
  std::remove(kManifestFileNameText);
  if (!written || std::rename(temporary.c_str(), kManifestFileNameText) != 0) {
    std::remove(temporary.c_str());
    problem = std::string(kManifestFileNameText) + " cannot be written in the package";
    return false;
  }
  files = records.size();
  return true;
}

bool checkPackageManifest(std::vector<Finding>& findings) {
  const char* check = kManifestFileNameText;
  if (platform::passesLink(kManifestFileName)) {
    add(findings, check, Level::Error, "a link: never opened, and every run ends (126)");
    return true;
  }
  std::optional<std::vector<unsigned char>> image;
  const platform::PinnedFile file =
      platform::pinWithBytes(kManifestFileName, kManifestSizeLimit, image);
  if (!file.isOpen()) {
    add(findings, check, Level::Warning,
        "absent: the payload is not checked, and a machine that requires a manifest refuses "
        "the package (126)");
    return false;
  }
  const std::optional<PackageManifest> manifest = manifestOfImage(image);
  if (!manifest) {
    add(findings, check, Level::Error, "not a manifest, or damaged: every run ends (126)");
    return true;
  }
  const bool signedByMaker = verifyPublisherSignature(file);
  if (!signedByMaker) {
    add(findings, check, Level::Error,
        "not signed by the maker: every run ends (126); sign it as the modules are signed");
  } else if (manifest->find(kConfigurationFileName) == nullptr) {
    add(findings, check, Level::Error, "does not list buConfig.xml: every run ends (126)");
  } else {
    add(findings, check, Level::Ok,
        "signed; lists " + std::to_string(manifest->records().size()) + " file(s)");
  }
  comparePayload(findings, *manifest);
  return true;
}

}  // namespace bu::check
