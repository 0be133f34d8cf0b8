#include "engine/module_location.h"

#include "config/package_path.h"
#include "config/update_entry.h"
#include "log/write_log.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace bu {

const char kLocalDllsKey[] = "SOFTWARE\\Tarvenix\\BrevantUpdater\\LocalDLLs\\";

namespace {

const char kLocal[] = "local";

const char kAuthPackaged[] =
    "AUTH DLL LOCATION: The Authorization DLL %s is expected to be packaged with BU.";
const char kDeployPackaged[] =
    "DEPLOY DLL LOCATION: The Deployment DLL %s is expected to be packaged with BU.";
const char kAuthRegistryNotice[] =
    "AUTH DLL LOCATION: BU will read the DLL location from registry - %s";
const char kDeployRegistryNotice[] =
    "DEPLOY DLL LOCATION: BU will read the DLL location from registry - %s";
const char kAuthRegistryNoticeShort[] =
    "AUTH DLL LOCATION: BU will read the DLL %s location from registry.";
const char kAuthFound[] = "AUTH DLL: DLL found for Entry number %d.";

const char kOpenFailed[] =
    "REG FAILURE: Failed while opening the key %s from registry. Return code: %ld";
const char kOpenSucceeded[] = "REG SUCCESS: Success while opening key %s";
const char kFetchFailed[] = "REG FAILURE: Failed while fetching the path from registry.";
const char kFetchSucceeded[] = "REG SUCCESS: Succeeded while fetching the path from registry.";

// The module name and location of one kind in an entry.
struct ModuleReference {
  const std::string& name;
  const std::string& location;
};

ModuleReference moduleOf(const UpdateEntry& entry, ModuleKind kind) {
  if (kind == ModuleKind::Authorization) return {entry.authDllName, entry.authDllLocation};
  return {entry.deployDllName, entry.deployDllLocation};
}

}  // namespace

bool isLocalLocation(const std::string& location) { return location == kLocal; }

ModuleOrigin originOf(const std::string& location) {
  return isLocalLocation(location) ? ModuleOrigin::Product : ModuleOrigin::Package;
}

std::wstring readModulePathFromRegistry(std::size_t entryIndex, ModuleKind kind,
                                        bool use64BitView) {
  std::wstring path;
  if (entryIndex >= updateEntries.size()) return path;
  const ModuleReference module = moduleOf(updateEntries[entryIndex], kind);

  platform::RegistryKey key;
  const long code = key.open(platform::ansiToWide(kLocalDllsKey), use64BitView);
  if (code != 0) {
    WriteLog(kOpenFailed, kLocalDllsKey, code);
    return path;
  }
  WriteLog(kOpenSucceeded, kLocalDllsKey);
  if (key.queryString(platform::ansiToWide(module.name), path)) {
    WriteLog("%s", kFetchSucceeded);
  } else {
    WriteLog("%s", kFetchFailed);
  }
  return path;  // the key closes here, whatever the answer
}

std::wstring resolveModulePath(std::size_t entryIndex, ModuleKind kind, NoticeStyle noticeStyle) {
  if (entryIndex >= updateEntries.size()) return {};
  const ModuleReference module = moduleOf(updateEntries[entryIndex], kind);
  const bool authorization = kind == ModuleKind::Authorization;
  if (!isLocalLocation(module.location)) {
    WriteLog(authorization ? kAuthPackaged : kDeployPackaged, module.name.c_str());
    return platform::ansiToWide(module.name);
  }
  const char* notice = kDeployRegistryNotice;
  if (authorization) {
    notice = noticeStyle == NoticeStyle::Short ? kAuthRegistryNoticeShort : kAuthRegistryNotice;
  }
  WriteLog(notice, module.name.c_str());
  return readModulePathFromRegistry(entryIndex, kind, false);
}

std::wstring findAuthorizationModulePath() {
  for (std::size_t i = 0; i < updateEntries.size(); ++i) {
    const UpdateEntry& entry = updateEntries[i];
    std::wstring path;
    if (!isLocalLocation(entry.authDllLocation)) {
      WriteLog(kAuthPackaged, entry.authDllName.c_str());
      // A name that leaves the package, by its text or through a link, is
      // never opened, not even to read its machine: it resolves to nothing.
      path = platform::ansiToWide(entry.authDllName);
      if (!isFileOfPackage(path)) path.clear();
    } else {
      WriteLog(kAuthRegistryNoticeShort, entry.authDllName.c_str());
      path = readModulePathFromRegistry(i, ModuleKind::Authorization, true);
      if (path.empty()) path = readModulePathFromRegistry(i, ModuleKind::Authorization, false);
    }
    if (!path.empty()) {
      WriteLog(kAuthFound, static_cast<int>(i));
      return path;
    }
  }
  return {};
}

}  // namespace bu
