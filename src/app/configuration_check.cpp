#include "app/configuration_check.h"

#include "app/result_codes.h"
#include "app/run_options.h"
#include "app/user_messages.h"
#include "config/configuration.h"
#include "log/write_log.h"

namespace bu {
namespace {

const char kParseError[] = "ERROR occurred while parsing the configuration file. Error code: %d";

}  // namespace

int checkConfiguration(bool checkOem) {
  const int loaded = loadConfigurationFile();
  if (loaded != kResultConfigLoaded) {
    showConfigurationError(loaded);
    return loaded;
  }
  const int parsed = parseConfiguration();
  if (parsed != kResultSuccess) {
    WriteLog(kParseError, parsed);
    showConfigurationError(parsed);
    return parsed;
  }
  if (checkOem && runOptions.oem != runOemOnly) return kResultOemMismatch;
  return kResultSuccess;
}

}  // namespace bu
