#include "app/dispatch.h"

#include "app/configuration_check.h"
#include "app/user_messages.h"
#include "config/result_codes.h"
#include "engine/modes.h"
#include "log/write_log.h"
#include "platform/message_box.h"

namespace bu {
namespace {

const char kListMode[] =
    "BU MODE: BU is running is LIST mode. User has used the /list argument from command line.";
const char kExtractMode[] =
    "BU MODE: BU is running is EXTRACT mode. User has used the /extract argument from command "
    "line.";
const char kFullMode[] = "BU MODE: BU is running is FULL mode.";
const char kIncompatible[] = "ERROR occurred due to incompatibility. Error code: %d";

int dispatchList(const ModeSteps& steps) {
  WriteLog("%s", kListMode);
  const int configuration = steps.checkConfiguration(false);
  if (configuration != kResultSuccess) return configuration;
  return steps.listUpdates();
}

int dispatchExtract(const RunOptions& options, const ModeSteps& steps) {
  WriteLog("%s", kExtractMode);
  const int configuration = steps.checkConfiguration(false);
  if (configuration != kResultSuccess) return configuration;
  const int result = steps.runExtraction(options.extractFile, options.extractPath);
  steps.showSummary(result);
  return result;
}

// After an accepted configuration a full run exits with 0 whatever its
// result: the result only selects the summary's text.
int dispatchFull(const ModeSteps& steps) {
  WriteLog("%s", kFullMode);
  if (steps.confirmDeployment() != platform::kBoxYes) return kResultNotConfirmed;
  const int configuration = steps.checkConfiguration(true);
  if (configuration == kResultOemMismatch) {
    WriteLog(kIncompatible, configuration);
    steps.showSummary(configuration);
    return configuration;
  }
  if (configuration != kResultSuccess) return configuration;
  steps.showSummary(steps.runFullDeployment());
  return kResultSuccess;
}

}  // namespace

ModeSteps programModeSteps() {
  ModeSteps steps;
  steps.confirmDeployment = confirmDeployment;
  steps.checkConfiguration = checkConfiguration;
  steps.listUpdates = listUpdates;
  steps.runExtraction = runExtraction;
  steps.runFullDeployment = runFullDeployment;
  steps.showSummary = showSummary;
  return steps;
}

int dispatchMode(const RunOptions& options, const ModeSteps& steps) {
  switch (options.mode) {
    case Mode::List:
      return dispatchList(steps);
    case Mode::Extract:
      return dispatchExtract(options, steps);
    case Mode::Full:
      break;
  }
  return dispatchFull(steps);
}

int dispatchMode() { return dispatchMode(runOptions, programModeSteps()); }

}  // namespace bu
