#include "engine/entry_pipeline.h"

#include "config/result_codes.h"
#include "log/write_log.h"

namespace bu {
namespace {

const char kProductNotInstalled[] =
    "The product corresponding to this entry in buconfig.xml is not installed on the system.";
const char kUnrarNotLoaded[] =
    "ERROR: unrar.dll not found. BU cannot continue processing. Terminating all BU operations.";
const char kUnrarNotSigned[] =
    "ERROR: unrar.dll is not Tarvenix Signed. BU cannot continue processing. Terminating all BU "
    "operations.";

}  // namespace

void logProductNotInstalled() { WriteLog("%s", kProductNotInstalled); }

int loadUnrarForEntry(UnrarBinding& binding, EntryModules& modules) {
  const int code = loadUnrar(binding);
  if (code == kResultSuccess) return code;
  WriteLog("%s", code == kResultUnrarLoadFailed ? kUnrarNotLoaded : kUnrarNotSigned);
  releaseUnrar(binding);
  releaseModules(modules);
  return code;
}

}  // namespace bu
