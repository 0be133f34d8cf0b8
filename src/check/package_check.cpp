#include "check/package_check.h"

#include <tinyxml.h>

#include <string>

#include "app/product_architecture.h"
#include "app/user_messages.h"
#include "config/result_codes.h"
#include "brevant_updater_module.h"
#include "check/manifest_check.h"
#include "config/configuration.h"
#include "config/package_path.h"
#include "config/update_entry.h"
#include "engine/module_location.h"
#include "modules/unrar_binding.h"
#include "modules/archive_listing.h"
#include "platform/code_module.h"
#include "platform/pinned_file.h"
#include "platform/process.h"
#include "platform/string_resource.h"
#include "platform/text.h"
#include "trust/publisher_signature.h"

namespace bu::check {
namespace {

// The texts a resource module must hold: every box's.
constexpr unsigned kFirstText = 101;
constexpr unsigned kLastText = 111;
constexpr std::size_t kTextCapacity = 4096;

const char kPackage[] = "package";
const char kSibling64[] = "the 64-bit hand-over";

class Report {
 public:
  void add(const std::string& scope, const std::string& check, Level level,
           const std::string& detail) {
    findings_.push_back({scope, check, level, detail});
  }
  std::vector<Finding>& findings() { return findings_; }
  std::vector<Finding> take() { return std::move(findings_); }

 private:
  std::vector<Finding> findings_;
};

std::string narrow(const std::wstring& text) { return platform::wideToAnsi(text); }

// In a package handed over to the 64-bit build, its files are that build's:
// this program checks their signature and machine, not their contents.
void checkForSibling(Report& report, const std::string& scope, const std::string& check,
                     const platform::PinnedFile& file, const std::wstring& path) {
  if (!verifyPublisherSignature(file)) {
    report.add(scope, check, Level::Error, "not signed by the maker");
  } else if (!isModule64Bit(path)) {
    report.add(scope, check, Level::Error,
               std::string("not an x64 image, but ") + kSiblingProgram + " loads it");
  } else {
    report.add(scope, check, Level::Ok,
               std::string("signed x64 image for ") + kSiblingProgram +
                   " (its contents: run brevCheck64)");
  }
}

// The configuration, read as every mode reads it.
bool checkConfiguration(Report& report) {
  TiXmlDocument document;
  const int loaded = loadConfigurationFile(document);
  if (loaded != kResultConfigLoaded) {
    report.add(kPackage, "buConfig.xml", Level::Error,
               "missing, unreadable, not a regular file or not well-formed XML (the updater "
               "ends with 101)");
    return false;
  }
  const int parsed = parseConfiguration(document);
  if (parsed == kResultConfigNoRoot) {
    report.add(kPackage, "buConfig.xml", Level::Error,
               "no element at top level (the updater ends with 103)");
    return false;
  }
  if (parsed != kResultSuccess) {
    // Each product left out, under its place among all the products and
    // the name the updater's log gives it.
    for (const LeftOutProduct& product : leftOutProducts(document)) {
      std::string lacks;
      for (const std::string& value : product.missing) lacks += (lacks.empty() ? "" : ", ") + value;
      report.add("product " + std::to_string(product.position), "buConfig.xml", Level::Error,
                 (product.name.empty() ? std::string("(no name in the log)")
                                       : "'" + product.name + "'") +
                     " lacks " + lacks + ": left out, and the updater ends with 122");
    }
    return false;
  }
  report.add(kPackage, "buConfig.xml", Level::Ok,
             std::to_string(updateEntries.size()) + " product(s); run-oem-only " +
                 (runOemOnly ? "yes: full runs need /tvxoem" : "no"));
  return true;
}

// The package's unrar.dll, as the updater verifies and loads it.
platform::CodeModule checkUnrar(Report& report, bool handOver) {
  const platform::PinnedFile file = platform::PinnedFile::open(kUnrarFileName);
  if (!file.isOpen()) {
    report.add(kPackage, "unrar.dll", Level::Error, "missing or unreadable: every run ends (118)");
    return {};
  }
  if (handOver) {
    checkForSibling(report, kPackage, "unrar.dll", file, kUnrarFileName);
    return {};
  }
  if (!verifyPublisherSignature(file)) {
    report.add(kPackage, "unrar.dll", Level::Error,
               "not signed by the maker: every run ends (118)");
    return {};
  }
  platform::CodeModule library =
      platform::CodeModule::load(file, platform::ModuleDependencies::SystemOnly);
  if (!library) {
    report.add(kPackage, "unrar.dll", Level::Error,
               "signed, but this program cannot load it (another architecture?): every run "
               "ends (111)");
    return {};
  }
  report.add(kPackage, "unrar.dll", Level::Ok, "signed and loadable by this program");
  return library;
}

void checkResourceModule(Report& report) {
  const platform::PinnedFile file = platform::PinnedFile::open(kResourceModuleName);
  if (!file.isOpen()) {
    report.add(kPackage, "buResource.dll", Level::Ok, "absent: the program's own texts");
    return;
  }
  if (!verifyPublisherSignature(file)) {
    report.add(kPackage, "buResource.dll", Level::Warning,
               "not signed by the maker: the program's own texts are shown");
    return;
  }
  const platform::StringModuleHandle module = platform::loadStringModule(file);
  if (module == nullptr) {
    report.add(kPackage, "buResource.dll", Level::Warning,
               "signed, but its string table cannot be read: the program's own texts are shown");
    return;
  }
  std::string missing;
  for (unsigned id = kFirstText; id <= kLastText; ++id) {
    if (platform::loadString(module, id, kTextCapacity).empty()) {
      missing += (missing.empty() ? "" : ", ") + std::to_string(id);
    }
  }
  if (!missing.empty()) {
    report.add(kPackage, "buResource.dll", Level::Error,
               "signed, but these texts are missing or empty: " + missing);
    return;
  }
  report.add(kPackage, "buResource.dll", Level::Ok, "signed, every text 101-111 present");
}

// Which program runs the package: this one, or - for the 32-bit program on
// 64-bit Windows, the updater's own test - the 64-bit build it hands over to
// when the first authorization module it can locate is an x64 image. True
// for the hand-over. On 32-bit Windows there is no 64-bit build to run.
bool checkArchitecture(Report& report) {
  const std::wstring path =
      platform::isWow64Process() ? findAuthorizationModulePath() : std::wstring();
  if (path.empty() || !isModule64Bit(path)) {
    report.add(kPackage, "program", Level::Ok, "this program runs the package");
    return false;
  }
  const platform::PinnedFile sibling =
      platform::PinnedFile::open(platform::ansiToWide(kSiblingProgram));
  report.add(kPackage, "program", sibling.isOpen() ? Level::Ok : Level::Error,
             std::string(kSibling64) + ": the first authorization module (" + narrow(path) +
                 ") is an x64 image" +
                 (sibling.isOpen() ? "" : std::string(", but ") + kSiblingProgram +
                                              " is missing (the updater ends with 124)"));
  return true;
}

void checkArchive(Report& report, const std::string& scope, const std::string& name,
                  const platform::CodeModule& library, bool manifest, bool test) {
  const std::string check = "archive " + name;
  if (!isFileOfPackage(platform::ansiToWide(name))) {
    report.add(scope, check, Level::Error,
               "not a name inside the package, or a link: never opened (the entry fails)");
    return;
  }
  if (!platform::PinnedFile::open(platform::ansiToWide(name)).isOpen()) {
    report.add(scope, check, Level::Error, "missing or unreadable (the entry fails)");
    return;
  }
  if (!library) {
    report.add(scope, check, Level::Warning,
               "present; not listed here (no usable unrar.dll for this program)");
    return;
  }
  const ArchiveListing listing = listArchive(library, name, test);
  const std::string counts = std::to_string(listing.files) + " file(s), " +
                             std::to_string(listing.bytes) + " bytes unpacked";
  if (!listing.opened) {
    report.add(scope, check, Level::Error,
               "the package's unrar.dll cannot open it: not an archive, encrypted headers or "
               "an unreadable file (109)");
  } else if (manifest && listing.volume) {
    report.add(scope, check, Level::Error,
               "one volume of a multi-volume archive: the manifest covers single archives "
               "only, so the updater does not open it (109)");
  } else if (!listing.refusedEntry.empty()) {
    report.add(scope, check, Level::Error,
               "entry '" + narrow(listing.refusedEntry) +
                   "' would be refused: it leads out of the destination or cannot be named "
                   "exactly (110)");
  } else if (!listing.strayReference.empty()) {
    report.add(scope, check, Level::Error,
               "entry '" + narrow(listing.strayReference) + "' links to or copies '" +
                   narrow(listing.strayTarget) +
                   "', which is not an earlier entry of the archive: the extraction fails (110)");
  } else if (!listing.damagedEntry.empty()) {
    report.add(scope, check, Level::Error,
               "entry '" + narrow(listing.damagedEntry) + "' is damaged: the library's test "
                   "answers " + std::to_string(listing.damagedCode) + " (110)");
  } else if (listing.encrypted) {
    report.add(scope, check, Level::Error, "holds encrypted entries: no password is asked (110)");
  } else if (listing.code != 0) {
    report.add(scope, check, Level::Error,
               "damaged, or a volume is missing: the library answers " +
                   std::to_string(listing.code) + " (110)");
  } else if (!listing.complete) {
    report.add(scope, check, Level::Error, "cut short: no end-of-archive record (110)");
  } else if (!listing.linkJudgedAtRunTime.empty()) {
    report.add(scope, check, Level::Warning,
               counts + "; entry '" + narrow(listing.linkJudgedAtRunTime) +
                   "' is a RAR 4 symbolic link, whose target is in its data: it is judged only "
                   "when the extraction has made it");
  } else {
    report.add(scope, check, Level::Ok,
               counts + (test ? "; every file's data tested" : ""));
  }
}

// The factories a module exports, by interface version.
std::string factories(const platform::CodeModule& module, bool authorization) {
  const char* names[] = {BU_CREATE_AUTHORIZATION_MANAGER, BU_CREATE_AUTHORIZATION_MANAGER2,
                         BU_CREATE_DEPLOYMENT_MANAGER, BU_CREATE_DEPLOYMENT_MANAGER2,
                         BU_CREATE_DEPLOYMENT_MANAGER3};
  std::string versions;
  const int first = authorization ? 0 : 2;
  const int last = authorization ? 1 : 4;
  for (int i = first; i <= last; ++i) {
    if (module.symbol(names[i]) != nullptr) {
      versions += (versions.empty() ? "" : ", ") + std::to_string(i - first + 1);
    }
  }
  return versions;
}

void checkModule(Report& report, const std::string& scope, std::size_t index,
                 ModuleKind kind, bool handOver) {
  const UpdateEntry& entry = updateEntries[index];
  const bool authorization = kind == ModuleKind::Authorization;
  const std::string& name = authorization ? entry.authDllName : entry.deployDllName;
  const std::string& location = authorization ? entry.authDllLocation : entry.deployDllLocation;
  const std::string check = std::string(authorization ? "authorization" : "deployment") +
                            " module " + name;
  if (isLocalLocation(location)) {
    const std::wstring path = readModulePathFromRegistry(index, kind, false);
    report.add(scope, check, Level::Warning,
               path.empty() ? "installed with its product, not registered on this machine; "
                              "checked only at run time"
                            : "installed with its product at " + narrow(path) +
                                  "; checked only at run time");
    return;
  }
  const std::wstring path = platform::ansiToWide(name);
  if (!isFileOfPackage(path)) {
    report.add(scope, check, Level::Error,
               "not a name inside the package, or a link: never opened");
    return;
  }
  const platform::PinnedFile file = platform::PinnedFile::open(path);
  if (!file.isOpen()) {
    report.add(scope, check, Level::Error, "missing from the package, or unreadable");
    return;
  }
  if (handOver) {
    checkForSibling(report, scope, check, file, path);
    return;
  }
  if (!verifyPublisherSignature(file)) {
    report.add(scope, check, Level::Error, "not signed by the maker");
    return;
  }
  const platform::CodeModule module =
      platform::CodeModule::load(file, platform::ModuleDependencies::SystemOnly);
  if (!module) {
    report.add(scope, check, Level::Error,
               "signed, but this program cannot load it (another architecture, or an import "
               "that is not a system library)");
    return;
  }
  const std::string versions = factories(module, authorization);
  report.add(scope, check, versions.empty() ? Level::Error : Level::Ok,
             versions.empty() ? "signed and loadable, but exports no factory"
                              : "signed, loadable, interface version(s) " + versions);
}

}  // namespace

const char* levelName(Level level) {
  switch (level) {
    case Level::Ok:
      return "ok";
    case Level::Warning:
      return "warning";
    case Level::Error:
      break;
  }
  return "error";
}

std::vector<Finding> checkPackage(bool test) {
  Report report;
  if (!checkConfiguration(report)) return report.take();
  const bool manifest = checkPackageManifest(report.findings());
  checkResourceModule(report);
  const bool handOver = checkArchitecture(report);
  const platform::CodeModule library = checkUnrar(report, handOver);
  for (std::size_t i = 0; i < updateEntries.size(); ++i) {
    const std::string scope = "product " + std::to_string(i + 1);
    checkModule(report, scope, i, ModuleKind::Authorization, handOver);
    checkModule(report, scope, i, ModuleKind::Deployment, handOver);
    checkArchive(report, scope, updateEntries[i].updateFile, library, manifest, test);
  }
  return report.take();
}

}  // namespace bu::check
