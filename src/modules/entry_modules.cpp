#include "modules/entry_modules.h"

#include <utility>

#include "config/package_path.h"
#include "config/result_codes.h"
#include "log/write_log.h"
#include "platform/pinned_file.h"
#include "platform/text.h"
#include "trust/publisher_signature.h"

namespace bu {
namespace {

// The lines and codes of one kind of module as it is loaded.
struct ModuleKind {
  const char* loadFailed;
  const char* notSigned;
  const char* verified;
  const char* loaded;
  int loadFailedCode;
  int notSignedCode;
};

const ModuleKind kAuthorization = {
    "AUTH DLL FAILURE: Failed while loading the authorization dll at %s",
    "AUTH TVXSIGNED FAILED: The authorization dll %s is not Tarvenix Signed",
    "AUTH TVXSIGNED SUCCESS: Successfully verified Tarvenix Signature for the authorization dll "
    "%s",
    "AUTH LOAD SUCCESS: Successfully loaded the authorization dll - %s",
    kResultAuthLoadFailed,
    kResultAuthNotSigned,
};

const ModuleKind kDeployment = {
    "DEPLOY DLL FAILURE: Failed while loading the deployment dll at %s",
    "DEPLOY TVXSIGNED FAILED: The deployment dll %s is not Tarvenix Signed",
    "DEPLOY TVXSIGNED SUCCESS: Successfully verified Tarvenix Signature for the deployment dll %s",
    "DEPLOY LOAD SUCCESS: Successfully loaded the deployment dll - %s",
    kResultDeployLoadFailed,
    kResultDeployNotSigned,
};

const char kReleaseDeployment[] =
    "Calling ReleaseInstance() on the object of IBrevantUpdaterDeploymentManager2.";
const char kReleaseAuthorization[] =
    "Calling ReleaseInstance() on the object of IBrevantUpdaterAuthorizationManager2.";

// Opens the module's file once, verifies the signature through that opening
// and only then loads it, from the same opening: what runs is what was
// verified, and a module that fails the check never runs any of its code.
// The lines name the module as it was given, not the full path it resolved to.
int loadVerified(const std::wstring& path, const ModuleKind& kind, ModuleOrigin origin,
                 platform::CodeModule& into) {
  const std::string name = platform::wideToAnsi(path);
  const bool packaged = origin == ModuleOrigin::Package;
  if (packaged && !isFileOfPackage(path)) {
    WriteLog(kind.loadFailed, name.c_str());
    return kind.loadFailedCode;
  }
  const platform::PinnedFile file = platform::PinnedFile::open(path);
  if (!file.isOpen()) {
    WriteLog(kind.loadFailed, name.c_str());
    return kind.loadFailedCode;
  }
  if (!verifyPublisherSignature(file)) {
    WriteLog(kind.notSigned, name.c_str());
    return kind.notSignedCode;
  }
  platform::CodeModule module = platform::CodeModule::load(
      file, packaged ? platform::ModuleDependencies::SystemOnly
                     : platform::ModuleDependencies::BesideTheModule);
  if (!module) {
    WriteLog(kind.loadFailed, name.c_str());
    return kind.loadFailedCode;
  }
  WriteLog(kind.verified, name.c_str());
  WriteLog(kind.loaded, name.c_str());
  into = std::move(module);
  return kResultSuccess;
}

}  // namespace

EntryModules::EntryModules(std::wstring file, std::wstring description)
    : updateFile(std::move(file)), updateDescription(std::move(description)) {}

EntryModules::~EntryModules() { releaseModules(*this); }

int loadModules(EntryModules& record, const std::wstring& authModulePath,
                const std::wstring& deployModulePath, bool authOnly, ModuleOrigin authOrigin,
                ModuleOrigin deployOrigin) {
  record.authModulePath = authModulePath;
  // Extraction wants authorization only: no deployment module is named.
  if (!authOnly) record.deployModulePath = deployModulePath;

  const int authorization =
      loadVerified(authModulePath, kAuthorization, authOrigin, record.authModule);
  if (authorization != kResultSuccess || authOnly) return authorization;
  return loadVerified(deployModulePath, kDeployment, deployOrigin, record.deployModule);
}

void releaseModules(EntryModules& record) {
  // Instances first: their code lives in the modules unloaded below.
  if (record.deployManager2 != nullptr) {
    WriteLog("%s", kReleaseDeployment);
    record.deployManager2->ReleaseInstance();
  }
  if (record.authManager2 != nullptr) {
    WriteLog("%s", kReleaseAuthorization);
    record.authManager2->ReleaseInstance();
  }
  // Version-1 and version-3 instances are never released; they die with
  // their modules.
  record.authManager = nullptr;
  record.authManager2 = nullptr;
  record.deployManager = nullptr;
  record.deployManager2 = nullptr;
  record.deployManager3 = nullptr;

  record.authModule.reset();
  record.deployModule.reset();

  record.authModulePath.clear();
  record.deployModulePath.clear();
  record.updateFile.clear();
  record.updateDescription.clear();
  record.deploymentPath.clear();
}

}  // namespace bu
