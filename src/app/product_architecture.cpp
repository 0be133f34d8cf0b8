#include "app/product_architecture.h"

#include <string>

#include "app/configuration_check.h"
#include "app/run_options.h"
#include "engine/module_location.h"
#include "log/write_log.h"
#include "platform/command_line.h"
#include "platform/process.h"
#include "platform/text.h"

namespace bu {

// Started by this relative name: the package is the current directory.
const char kSiblingProgram[] = "brevUpdater64.exe";
namespace {

const char kModule64Bit[] = "Authentication DLL is a 64-bit DLL.";
const char kNotStarted[] = "Failed to execute process.";
const char kNoExitCode[] = "Executed process but couldn't get exit code.";

}  // namespace

bool isModule64Bit(const std::wstring& path) { return platform::isImage64Bit(path); }

// The installed product is 64-bit when its authorization module is an x64
// image; only a 32-bit process on 64-bit Windows asks, and never to list.
bool isProduct64Bit() {
  if (!platform::isWow64Process()) return false;
  if (runOptions.mode == Mode::List) return false;
  if (checkConfiguration(runOptions.mode == Mode::Full) != 0) return false;
  if (!isModule64Bit(findAuthorizationModulePath())) return false;
  WriteLog("%s", kModule64Bit);
  return true;
}

// The sibling's command line begins with its own quoted name, as every
// program's does: its parser then sees exactly the arguments this process
// saw (the tail alone would lose the first of them to the program's name).
// The tail is the wide one this process parsed, so no character is lost to
// the ANSI code page on the way.
bool launch64BitSibling(unsigned& exitCode) {
  const std::wstring program = platform::ansiToWide(kSiblingProgram);
  std::wstring commandLine = L"\"" + program + L"\"";
  const std::wstring tail = platform::commandLineTail();
  if (!tail.empty()) commandLine += L" " + tail;
  switch (platform::runAndWait(program, commandLine, exitCode)) {
    case platform::ProcessRun::Finished:
      return true;
    case platform::ProcessRun::NotStarted:
      WriteLog("%s", kNotStarted);
      return false;
    case platform::ProcessRun::ExitCodeUnknown:
      break;
  }
  WriteLog("%s", kNoExitCode);
  return false;
}

}  // namespace bu
