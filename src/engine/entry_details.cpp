#include "engine/entry_details.h"

#include "log/write_log.h"

namespace bu {
namespace {

const char kProcessing[] = "PROCESSING ENTRY: %s - %s";
const char kDetails[] = "Entry details:";
// The tab counts differ from line to line; they are part of the texts.
const char kUpdateFile[] = "\tUpdate-File: \t\t\t%s";
const char kUpdateDescription[] = "\tUpdate-Desc: \t\t\t%s";
const char kAuthDllName[] = "\tAuth DLL Name: \t\t\t%s";
const char kAuthDllLocation[] = "\tAuth DLL Location: \t\t%s";
const char kAuthContentType[] = "\tAuth Content-Type: \t\t%s";
const char kDeployContentType[] = "\tDeploy Content-Type: \t\t%s";
const char kDeployDllName[] = "\tDeploy DLL Name: \t\t%s";
const char kDeployDllLocation[] = "\tDeploy DLL Location: \t\t%s";

}  // namespace

void logEntryDetails(const UpdateEntry& entry) {
  WriteLog(kProcessing, entry.updateFile.c_str(), entry.updateDescription.c_str());
  WriteLog("%s", kDetails);
  WriteLog(kUpdateFile, entry.updateFile.c_str());
  WriteLog(kUpdateDescription, entry.updateDescription.c_str());
  WriteLog(kAuthDllName, entry.authDllName.c_str());
  WriteLog(kAuthDllLocation, entry.authDllLocation.c_str());
  WriteLog(kAuthContentType, entry.authContentType.c_str());
  WriteLog(kDeployContentType, entry.deployContentType.c_str());
  WriteLog(kDeployDllName, entry.deployDllName.c_str());
  WriteLog(kDeployDllLocation, entry.deployDllLocation.c_str());
}

}  // namespace bu
