// The package manifest: the SHA-256 of buConfig.xml and of every archive the
// configuration names, by file name, as the maker built them.
//
// Its text, one record per line, LF-terminated:
//
//   bu-manifest 1
//   sha256 <64 lower-case hex digits> <file name>
//   ...
//   end
//
// A file name is the configuration's 8-bit text; every byte outside '!'..'~',
// and '%', is written %<two hex digits>. Names are matched ignoring the case
// of ASCII letters (as Windows opens files), so no two records may name the
// same file that way. Bytes after "end" are not part of the manifest.
//
// The text travels as data inside a resource-only PE image (see
// manifest_image.h), the one form the maker's signature covers on every port.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_digest.h"

namespace bu {

// The manifest's file in the package.
extern const wchar_t kManifestFileName[];
extern const char kManifestFileNameText[];

struct ManifestRecord {
  std::string name;
  platform::Sha256Digest digest;
};

class PackageManifest {
 public:
  explicit PackageManifest(std::vector<ManifestRecord> records) : records_(std::move(records)) {}

  // The record for `name`, or null when the manifest does not list it.
  const ManifestRecord* find(const std::string& name) const;
  const std::vector<ManifestRecord>& records() const { return records_; }

 private:
  std::vector<ManifestRecord> records_;
};

// The manifest's text for `records`, in their order.
std::string manifestText(const std::vector<ManifestRecord>& records);

// The manifest a text holds; null when it is not one (a bad header, record,
// digest or name, a name listed twice, no "end").
std::optional<PackageManifest> parseManifestText(std::string_view text);

// The most bytes a manifest's image may hold: a manifest lists a few names.
constexpr std::size_t kManifestSizeLimit = 16 * 1024 * 1024;

// The manifest held by the bytes of a manifest's image (as read within
// kManifestSizeLimit); null when there are none or they hold no manifest.
std::optional<PackageManifest> manifestOfImage(
    const std::optional<std::vector<unsigned char>>& image);

// The digest as 64 lower-case hex digits.
std::string digestText(const platform::Sha256Digest& digest);

}  // namespace bu
