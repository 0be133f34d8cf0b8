// brevCheck: tells a package's author whether every update in a package
// will deploy, before the package ships.
//
//   brevCheck [--json] [--test] <package folder>
//   brevCheck --manifest <package folder>
//
// The second form writes the package's manifest, unsigned, for the package
// as it stands; its author then signs it as they sign their modules.
//
// Exit codes: 0 nothing is an error (or the manifest was written), 1
// something is (or it could not be written), 2 a usage error.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "check/check_report.h"
#include "check/manifest_check.h"
#include "check/package_check.h"
#include "platform/code_module.h"

namespace {

const char kUsage[] =
    "usage: brevCheck [--json] [--test] <package folder>\n"
    "       brevCheck --manifest <package folder>\n";
constexpr int kNoErrors = 0;
constexpr int kErrors = 1;
constexpr int kUsageError = 2;

int writeManifest(const std::string& folder) {
  std::error_code error;
  std::filesystem::current_path(folder, error);
  std::string problem;
  std::size_t files = 0;
  if (error) {
    problem = "the package folder cannot be entered";
  } else if (bu::check::writePackageManifest(problem, files)) {
    std::printf("%s: wrote buManifest.dll (unsigned) listing %zu file(s); sign it before "
                "shipping\n", folder.c_str(), files);
    return kNoErrors;
  }
  std::fprintf(stderr, "%s: %s\n", folder.c_str(), problem.c_str());
  return kErrors;
}

}  // namespace

int main(int argc, char** argv) {
  // First of all, as the updater does: the check enters the package folder,
  // and a DLL of a system's name left there or beside this program must never
  // be what a later load by bare name finds.
  bu::platform::restrictDllSearchToSystemDirectory();
  // 8-bit texts are in the locale's character set, as the updater reads them.
  std::setlocale(LC_ALL, "");
  bool json = false;
  bool test = false;
  bool manifest = false;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0 && !json && !manifest) {
      json = true;
    } else if (std::strcmp(argv[i], "--test") == 0 && !test && !manifest) {
      test = true;
    } else if (std::strcmp(argv[i], "--manifest") == 0 && !json && !test && !manifest) {
      manifest = true;
    } else if (folder.empty() && argv[i][0] != '\0' && std::strncmp(argv[i], "--", 2) != 0) {
      folder = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return kUsageError;
    }
  }
  if (folder.empty()) {
    std::fputs(kUsage, stderr);
    return kUsageError;
  }

  if (manifest) return writeManifest(folder);

  std::vector<bu::check::Finding> findings;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    findings.push_back({"package", "folder", bu::check::Level::Error, "not found or not a folder"});
  } else {
    // The updater reads the package from its current directory.
    std::filesystem::current_path(folder, error);
    if (error) {
      findings.push_back({"package", "folder", bu::check::Level::Error, "cannot be entered"});
    } else {
      findings = bu::check::checkPackage(test);
    }
  }
  const std::string report = json ? bu::check::jsonReport(folder, findings)
                                   : bu::check::tableReport(folder, findings);
  std::fputs(report.c_str(), stdout);
  return bu::check::hasErrors(findings) ? kErrors : kNoErrors;
}
