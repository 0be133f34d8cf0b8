// Extract mode: the entries whose update file is the one asked for, each
// through the reduced pipeline (authorization only, the user's directory, no
// post-processing), until one of them is extracted.
#include <string>

#include "app/user_messages.h"
#include "config/ascii_case.h"
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

const char kAvailable[] =
    "BU EXTRACT: %s is available for deployment. Entry %d. BU will now try to deploy this content.";
const char kExtracted[] = "BU EXTRACT: Entry number %d for %s was successfully extracted.";
const char kAttemptFailed[] =
    "BU EXTRACT: Entry number %d for %s failed during extraction with return code: %d";
const char kNotAvailable[] =
    "BU EXTRACT: %s is not available for deployment. Please use the /list command to check the "
    "available updates.";
const char kRegistryFailed[] =
    "BU EXTRACT: Ignoring entry for %s because of registry read failure. Error occurred while "
    "reading the path for the Authorization DLL from the registry.";
const char kAuthNotSigned[] =
    "BU EXTRACT: Terminating processing for %s because Authorization DLL %s is not Tarvenix "
    "Signed.";
const char kAuthNotLoaded[] =
    "BU EXTRACT: Terminating processing for %s because failure occurred while loading "
    "Authorization DLL %s";
const char kAuthInterface[] =
    "BU EXTRACT: Terminating processing for %s because failure occurred while interfacing with "
    "the Authorization DLL %s";
const char kNotAuthorized[] =
    "BU EXTRACT: Terminating processing for %s because it is not authorized for deployment";
const char kNoLocation[] =
    "BU EXTRACT: Terminating processing for %s because failure occurred while fetching the "
    "deployment location from %s.";
const wchar_t kNoLocationBox[] =
    L"Terminating processing for %ls because failure occurred while fetching the deployment "
    L"location from %ls.";
const char kNotExtracted[] =
    "BU EXTRACT: Terminating processing for %s because failure occurred while deploying this "
    "content.";

// One attempt on the entry at `index`. The deployment module is never
// located, loaded or asked: the archive goes to `destination`.
int extractEntry(std::size_t index, const std::wstring& destination) {
  const UpdateEntry entry = updateEntries[index];
  const char* name = entry.updateFile.c_str();
  logEntryDetails(entry);

  // Checked before the authorization module is loaded or asked; the bytes
  // checked stay pinned until the library has read them.
  const ArchivePayload payload = checkArchivePayload(entry.updateFile);
  if (!payload.accepted) {
    logArchiveNotOpened(entry.updateFile);
    WriteLog(kNotExtracted, name);
    return kResultArchiveOpenFailed;
  }

  const std::wstring authPath =
      resolveModulePath(index, ModuleKind::Authorization, NoticeStyle::Short);
  if (authPath.empty()) {
    WriteLog(kRegistryFailed, name);
    logProductNotInstalled();
    return kResultSomeFailed;
  }

  EntryModules modules(platform::ansiToWide(entry.updateFile),
                       platform::ansiToWide(entry.updateDescription));
  const std::string authPathText = platform::wideToAnsi(authPath);
  const int loaded = loadModules(modules, authPath, std::wstring(), true,
                                 originOf(entry.authDllLocation));
  if (loaded != kResultSuccess) {
    WriteLog(loaded == kResultAuthNotSigned ? kAuthNotSigned : kAuthNotLoaded, name,
             authPathText.c_str());
    releaseModules(modules);
    return loaded;
  }
  // The rollback option means nothing here: no module is told about it.
  const int authorized =
      authorizeAndLocate(entry.deployContentType, modules, entry.authContentType, false, true);
  if (authorized != kResultSuccess) {
    if (authorized == kResultAuthInterface) {
      WriteLog(kAuthInterface, name, authPathText.c_str());
    } else if (authorized == kResultNotAuthorized) {
      WriteLog(kNotAuthorized, name);
    } else {
      // No deployment module takes part, so the path it names is empty.
      WriteLog(kNoLocation, name, "");
      showInformation(kNoLocationBox, modules.updateFile.c_str(), L"");
    }
    releaseModules(modules);
    return authorized;
  }

  UnrarBinding binding;
  const int unrar = loadUnrarForEntry(binding, modules);
  if (unrar != kResultSuccess) return unrar;
  const int extracted =
      extractArchive(binding, entry.updateFile, destination, &payload.pinned);
  releaseUnrar(binding);
  if (extracted != kResultSuccess) WriteLog(kNotExtracted, name);
  releaseModules(modules);
  return extracted;
}

}  // namespace

int runExtraction(const std::string& file, const std::wstring& path) {
  for (std::size_t i = 0; i < updateEntries.size(); ++i) {
    if (lowerCasedAscii(updateEntries[i].updateFile) != file) continue;
    const int index = static_cast<int>(i);
    WriteLog(kAvailable, file.c_str(), index);
    const int code = extractEntry(i, path);
    if (code == kResultSuccess) {
      WriteLog(kExtracted, index, file.c_str());
      return kResultSuccess;
    }
    WriteLog(kAttemptFailed, index, file.c_str(), code);
  }
  WriteLog(kNotAvailable, file.c_str());
  return kResultUpdateUnavailable;
}

}  // namespace bu
