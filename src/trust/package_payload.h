// The check of a package's payload against its signed manifest
// (package_manifest.h): the run's manifest is loaded once, before the
// configuration is read; then buConfig.xml is checked on the bytes that are
// parsed, and each archive on the bytes the UnRAR library then reads.
//
// Without a manifest the payload goes unchecked (with a log line saying so),
// unless the machine's policy requires one: the DWORD value
// RequirePackageManifest = 1 under the program's own key in the machine hive.
#pragma once

#include <cstddef>
#include <string>

#include "platform/pinned_file.h"

namespace bu {

// Loads and verifies the package's manifest, or learns that there is none
// and the machine does not require one: 0 either way. 126 (after its log
// line) when the manifest is not signed by the maker, cannot be read as a
// manifest or does not list buConfig.xml, or when the machine requires a
// manifest and the package has none.
int loadPackageManifest();

// Whether the configuration's bytes may be used: true without a manifest;
// with one, true when their digest is the one listed (else false, after the
// line that names the file and what was expected).
bool configurationMatchesManifest(const unsigned char* bytes, std::size_t size);

// One archive of the package, as the run will use it.
struct ArchivePayload {
  bool accepted = false;
  // With a manifest: the archive's bytes, pinned and found to match. Without
  // one: not open, and the archive is opened by its name as it stands.
  platform::PinnedFile pinned;
};

// Pins the archive the configuration names `name` and checks it against the
// manifest. Not accepted (after its line) when it cannot be read, is not
// listed, or does not match.
ArchivePayload checkArchivePayload(const std::string& name);

}  // namespace bu
