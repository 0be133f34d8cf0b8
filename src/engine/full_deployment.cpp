// Full mode: every update entry in turn, through the whole pipeline. A
// failing entry is logged and skipped; an UnRAR library that cannot be used
// ends the run.
#include <string>

#include "app/run_options.h"
#include "config/result_codes.h"
#include "config/update_entry.h"
#include "engine/entry_details.h"
#include "engine/entry_pipeline.h"
#include "engine/modes.h"
#include "engine/module_location.h"
#include "log/write_log.h"
#include "modules/entry_modules.h"
#include "modules/unrar_binding.h"
#include "platform/text.h"
#include "trust/package_payload.h"

namespace bu {
namespace {

const char kAuthRegistryFailed[] =
    "IGNORE ENTRY: Ignoring entry for %s because of registry read failure. Error occurred while "
    "reading the path for the Authorization DLL from the registry.";
const char kDeployRegistryFailed[] =
    "IGNORE ENTRY: Ignoring entry for %s because of registry read failure. Error occurred while "
    "reading the path for the Deployment DLL from the registry.";
const char kAuthNotSigned[] =
    "IGNORE ENTRY: Ignoring entry for %s because Authorization DLL %s is not Tarvenix Signed.";
const char kDeployNotSigned[] =
    "IGNORE ENTRY: Ignoring entry for %s because Deployment DLL %s is not Tarvenix Signed.";
const char kDeployNotLoaded[] =
    "IGNORE ENTRY: Ignoring entry for %s because failure occurred while loading Deployment DLL %s";
const char kAuthNotLoaded[] =
    "IGNORE ENTRY: Ignoring entry for %s because failure occurred while loading Authorization "
    "DLL %s";
const char kAuthInterface[] =
    "IGNORE ENTRY: Ignoring entry for %s because failure occurred while interfacing with the "
    "Authorization DLL %s";
const char kDeployInterface[] =
    "IGNORE ENTRY: Ignoring entry for %s because failure occurred while interfacing with the "
    "Deployment DLL %s";
const char kNotAuthorized[] =
    "IGNORE ENTRY: Ignoring entry for %s because it is not authorized for deployment";
const char kNoLocation[] =
    "IGNORE ENTRY: Ignoring processing for %s because failure occurred while fetching the "
    "deployment location.";
const char kNotExtracted[] =
    "Ignoring entry for %s because failure occurred while deploying this content.";
const char kNotPostProcessed[] = "Failure occurred while post processing the deployed content - %s.";

enum class Outcome { Deployed, Failed };

struct EntryRun {
  Outcome outcome;
  int terminatingCode;  // non-zero: the run ends with it
};

std::string narrow(const std::wstring& text) { return platform::wideToAnsi(text); }

void logLoadFailure(int code, const char* entry, const std::wstring& authPath,
                    const std::wstring& deployPath) {
  switch (code) {
    case kResultAuthNotSigned:
      WriteLog(kAuthNotSigned, entry, narrow(authPath).c_str());
      return;
    case kResultDeployNotSigned:
      WriteLog(kDeployNotSigned, entry, narrow(deployPath).c_str());
      return;
    case kResultDeployLoadFailed:
      WriteLog(kDeployNotLoaded, entry, narrow(deployPath).c_str());
      return;
    default:
      WriteLog(kAuthNotLoaded, entry, narrow(authPath).c_str());
  }
}

void logAuthorizationFailure(int code, const char* entry, const std::wstring& authPath,
                             const std::wstring& deployPath) {
  switch (code) {
    case kResultAuthInterface:
      WriteLog(kAuthInterface, entry, narrow(authPath).c_str());
      return;
    case kResultDeployInterface:
      WriteLog(kDeployInterface, entry, narrow(deployPath).c_str());
      return;
    case kResultNotAuthorized:
      WriteLog(kNotAuthorized, entry);
      return;
    default:
      WriteLog(kNoLocation, entry);
  }
}

// One entry, from its details to the release of everything it acquired. The
// UnRAR library is released before the modules on every path.
EntryRun deployEntry(std::size_t index, bool rollback, bool oem) {
  const UpdateEntry entry = updateEntries[index];
  const char* name = entry.updateFile.c_str();
  logEntryDetails(entry);

  // The archive is checked before any module is loaded or asked, and the
  // bytes checked stay pinned until the library has read them.
  const ArchivePayload payload = checkArchivePayload(entry.updateFile);
  if (!payload.accepted) {
    logArchiveNotOpened(entry.updateFile);
    WriteLog(kNotExtracted, name);
    return {Outcome::Failed, 0};
  }

  // Both locations are logged before either is judged.
  const std::wstring authPath = resolveModulePath(index, ModuleKind::Authorization,
                                                  NoticeStyle::FullRun);
  const std::wstring deployPath = resolveModulePath(index, ModuleKind::Deployment,
                                                    NoticeStyle::FullRun);
  if (authPath.empty() || deployPath.empty()) {
    WriteLog(authPath.empty() ? kAuthRegistryFailed : kDeployRegistryFailed, name);
    logProductNotInstalled();
    return {Outcome::Failed, 0};
  }

  EntryModules modules(platform::ansiToWide(entry.updateFile),
                       platform::ansiToWide(entry.updateDescription));
  const int loaded = loadModules(modules, authPath, deployPath, false,
                                 originOf(entry.authDllLocation), originOf(entry.deployDllLocation));
  if (loaded != kResultSuccess) {
    logLoadFailure(loaded, name, authPath, deployPath);
    releaseModules(modules);
    return {Outcome::Failed, 0};
  }
  const int located =
      authorizeAndLocate(entry.deployContentType, modules, entry.authContentType, rollback, false);
  if (located != kResultSuccess) {
    logAuthorizationFailure(located, name, authPath, deployPath);
    releaseModules(modules);
    return {Outcome::Failed, 0};
  }

  UnrarBinding binding;
  const int unrar = loadUnrarForEntry(binding, modules);
  if (unrar != kResultSuccess) return {Outcome::Failed, unrar};
  if (extractArchive(binding, entry.updateFile, modules.deploymentPath,
                     &payload.pinned) != kResultSuccess) {
    releaseUnrar(binding);
    WriteLog(kNotExtracted, name);
    releaseModules(modules);
    return {Outcome::Failed, 0};
  }
  const int finished = postProcess(rollback, modules, oem);
  if (finished != kResultSuccess) WriteLog(kNotPostProcessed, name);
  releaseUnrar(binding);
  releaseModules(modules);
  return {finished == kResultSuccess ? Outcome::Deployed : Outcome::Failed, 0};
}

}  // namespace

int runFullDeployment() {
  const bool rollback = runOptions.rollback;
  const bool oem = runOptions.oem;
  int result = kResultSuccess;
  bool noneDeployed = true;
  for (std::size_t i = 0; i < updateEntries.size(); ++i) {
    const EntryRun run = deployEntry(i, rollback, oem);
    if (run.terminatingCode != 0) return run.terminatingCode;
    if (run.outcome == Outcome::Deployed) {
      noneDeployed = false;
    } else {
      result = kResultSomeFailed;
    }
  }
  return noneDeployed ? kResultNoneDeployed : result;
}

}  // namespace bu
