#include "app/startup.h"

#include "app/command_line.h"
#include "app/dispatch.h"
#include "app/product_architecture.h"
#include "app/user_messages.h"
#include "config/result_codes.h"
#include "log/write_log.h"
#include "platform/text.h"
#include "platform/window.h"
#include "version.h"

namespace bu {

platform::ModuleHandle programInstance = nullptr;

namespace {

const char kBannerRule[] = "******************************************************************";
const char kBannerTitle[] = "\t\tStarting Brevant Updater - Version %s";
const char kProduct64Bit[] =
    "Identified as 64-bit product installation. Launching the 64-bit BU Process.";
const char kProduct32Bit[] = "Identified as 32-bit product installation. Continuing...";
const char kSiblingFailed[] =
    "BU Initialization failed. Possibly, incorrect BU Package for 64-bit Product.";

int handOverTo64BitSibling() {
  WriteLog("%s", kProduct64Bit);
  unsigned exitCode = 0;
  if (launch64BitSibling(exitCode)) return static_cast<int>(exitCode);
  WriteLog("%s", kSiblingFailed);
  showInformation(L"%ls", platform::ansiToWide(kSiblingFailed).c_str());
  return kResultNoneDeployed;
}

}  // namespace

int runUpdater(platform::ModuleHandle instance, const char* commandLineTail) {
  programInstance = instance;
  if (!platform::createHiddenWindow(instance)) return kResultSuccess;

  WriteLog("%s", kBannerRule);
  WriteLog(kBannerTitle, BU_VERSION_TEXT);
  WriteLog("%s", kBannerRule);

  loadResourceModule(instance);

  const int parsed = parseCommandLine(commandLineTail);
  if (parsed != kResultSuccess) return parsed;

  if (isProduct64Bit()) return handOverTo64BitSibling();
  WriteLog("%s", kProduct32Bit);
  return dispatchMode();
}

}  // namespace bu
