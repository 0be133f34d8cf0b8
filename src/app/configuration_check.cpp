#include "app/configuration_check.h"

#include <tinyxml.h>

#include "app/run_options.h"
#include "app/user_messages.h"
#include "config/configuration.h"
#include "config/result_codes.h"
#include "config/update_entry.h"
#include "log/write_log.h"
#include "trust/package_payload.h"

namespace bu {
namespace {

const char kParseError[] = "ERROR occurred while parsing the configuration file. Error code: %d";

}  // namespace

int checkConfiguration(bool checkOem) {
  // The document lives only for the check: the entries hold copies of
  // their texts.
  // The manifest comes first: the configuration is checked against it
  // before it is parsed.
  const int manifest = loadPackageManifest();
  if (manifest != kResultSuccess) {
    showConfigurationError(manifest);
    return manifest;
  }
  TiXmlDocument document;
  const int loaded = loadConfigurationFile(document, configurationMatchesManifest);
  if (loaded != kResultConfigLoaded) {
    showConfigurationError(loaded);
    return loaded;
  }
  const int parsed = parseConfiguration(document);
  if (parsed != kResultSuccess) {
    WriteLog(kParseError, parsed);
    showConfigurationError(parsed);
    return parsed;
  }
  // Reported by the full mode itself (log line and summary), not here.
  if (checkOem && runOptions.oem != runOemOnly) return kResultOemMismatch;
  return kResultSuccess;
}

}  // namespace bu
