#include "app/command_line.h"

#include <optional>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "app/user_messages.h"
#include "config/ascii_case.h"
#include "config/result_codes.h"
#include "log/write_log.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/path_rules.h"
#include "platform/text.h"

namespace bu {
namespace {

const char kCommandLineVariable[] = "sfxcmd";

const char kNoArguments[] = "BU Initialization failed. No commanline arguments specified.";
const char kInvalidByUser[] = "BU_CMD: Invalid arguments specified by the user: %s";
const char kHelpOption[] = "BU_CMD: /? option specified. Displaying HELP menu to the user.";
const char kListOption[] = "BU_CMD: /list option specified.";
const char kListAfterExtract[] =
    "BU_CMD: WARNING - BU is running in /extract mode. Hence /list mode should not be used.";
const char kExtractWithoutArguments[] =
    "BU_CMD: /extract option specified without the required arguments. Please specify <file> "
    "and <path> while using this command.";
const char kExtractWithoutPath[] =
    "BU_CMD: /extract option specified without the destination path. Please specify <file> "
    "and <path> while using this command.";
const char kExtractNotAbsolute[] =
    "BU_CMD: /extract option specified without absolute path. Please specify <path> as "
    "absolute path.";
const wchar_t kExtractNotAbsoluteBox[] =
    L"/extract option specified without absolute path. Please specify extraction directory as "
    L"absolute path.";
const char kExtractAccepted[] =
    "BU_CMD: /extract option specified for file '%s' and extract path '%s'";
const char kSilentOption[] =
    "BU_CMD: /q option specified. Preparing to execute BU in un-atteneded/slient mode.";
const char kRollbackOption[] =
    "BU_CMD: /r option specified. Enabling the rollback support during deployment.";
const char kOemOption[] = "BU_CMD: %s option specified.";
const char kInvalidArgument[] = "BU_CMD: INVALID input arguments specified - %s";

std::optional<std::vector<std::wstring>> obtainArguments() {
  if (const auto value = platform::environmentVariable(kCommandLineVariable)) {
    return platform::splitCommandLine(platform::ansiToWide(*value));
  }
  return platform::processArguments();
}

int rejectInvalid() {
  showInvalidArguments();
  return kResultInvalidArguments;
}

// Two arguments pass only as /q with /r or /tvxoem, in either order.
bool acceptedPair(const std::string& a, const std::string& b) {
  const auto flag = [](const std::string& s) { return s == "/r" || s == "/tvxoem"; };
  return (a == "/q" && flag(b)) || (b == "/q" && flag(a));
}

int scan(const std::vector<std::wstring>& wide, const std::vector<std::string>& lower) {
  const std::size_t count = lower.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& argument = lower[i];
    if (argument == "/?") {
      WriteLog("%s", kHelpOption);
      showHelp();
      return kResultHelpShown;
    }
    if (argument == "/list") {
      WriteLog("%s", kListOption);
      if (runOptions.mode == Mode::Extract) {
        WriteLog("%s", kListAfterExtract);
        return rejectInvalid();
      }
      runOptions.mode = Mode::List;
      return kResultSuccess;  // whatever follows /list is never examined
    }
    if (argument == "/extract") {
      if (i + 2 >= count) {
        WriteLog("%s", kExtractWithoutArguments);
        return rejectInvalid();
      }
      const std::string& file = lower[i + 1];
      const std::wstring path = platform::storedDestinationPath(wide[i + 2]);
      i += 2;
      if (path.empty()) {
        WriteLog("%s", kExtractWithoutPath);
        return rejectInvalid();
      }
      if (!platform::isAbsoluteDestinationPath(path)) {
        WriteLog("%s", kExtractNotAbsolute);
        showInformation(L"%ls", kExtractNotAbsoluteBox);
        return kResultInvalidArguments;
      }
      runOptions.extractFile = file;
      runOptions.extractPath = path;
      WriteLog(kExtractAccepted, file.c_str(), platform::wideToAnsi(path).c_str());
      runOptions.mode = Mode::Extract;
      continue;
    }
    if (argument == "/q") {
      WriteLog("%s", kSilentOption);
      runOptions.silent = true;
    } else if (argument == "/r") {
      WriteLog("%s", kRollbackOption);
      runOptions.rollback = true;
    } else if (argument == "/tvxoem") {
      WriteLog(kOemOption, argument.c_str());
      runOptions.oem = true;
    } else {
      WriteLog(kInvalidArgument, argument.c_str());
      return rejectInvalid();
    }
  }
  return kResultSuccess;
}

}  // namespace

int parseCommandLine(const char* commandLineTail) {
  const auto tokens = obtainArguments();
  if (!tokens) {
    WriteLog("%s", kNoArguments);
    showInformation(L"%ls", platform::ansiToWide(kNoArguments).c_str());
    return kResultInvalidArguments;
  }

  // The first token is the program's own name and is never examined.
  const std::vector<std::wstring> wide(tokens->begin() + (tokens->empty() ? 0 : 1), tokens->end());
  std::vector<std::string> lower;
  for (const std::wstring& token : wide) lower.push_back(lowerCasedAscii(platform::wideToAnsi(token)));

  const bool pairRejected = lower.size() == 2 && !acceptedPair(lower[0], lower[1]);
  const bool tripleRejected = lower.size() == 3 && lower[0] != "/extract";
  if (pairRejected || tripleRejected) {
    WriteLog(kInvalidByUser, commandLineTail);
    return rejectInvalid();
  }
  return scan(wide, lower);
}

}  // namespace bu
