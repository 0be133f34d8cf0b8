// The package manifest as the package's author sees it: written for the
// package as it stands (to be signed afterwards), and reported by the check.
#pragma once

#include <string>
#include <vector>

#include "check/package_check.h"

namespace bu::check {

// Writes an unsigned buManifest.dll into the package in the current
// directory, listing buConfig.xml and every archive its configuration
// names, each with the SHA-256 of its bytes as they stand. False, with the
// reason in `problem`, when the configuration cannot be read or an archive
// is not a readable file of the package; nothing is written then.
bool writePackageManifest(std::string& problem, std::size_t& files);

// The manifest's findings, after the configuration was read: whether one is
// present and signed, and whether each file it lists, and each archive the
// configuration names, matches it. True when the package carries one.
bool checkPackageManifest(std::vector<Finding>& findings);

}  // namespace bu::check
