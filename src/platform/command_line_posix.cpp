#include "platform/command_line.h"

#include "platform/argv_splitter.h"
#include "platform/command_line_posix.h"
#include "platform/text.h"

namespace bu::platform {
namespace {

std::vector<std::wstring>& storedArguments() {
  static std::vector<std::wstring> arguments;
  return arguments;
}

}  // namespace

void setProcessArguments(int argc, char** argv) {
  auto& arguments = storedArguments();
  arguments.clear();
  for (int i = 0; i < argc; ++i) arguments.push_back(ansiToWide(argv[i]));
}

std::optional<std::vector<std::wstring>> splitCommandLine(const std::wstring& commandLine) {
  // An empty command line stands for the running program alone.
  const auto& arguments = storedArguments();
  const std::wstring program = arguments.empty() ? std::wstring() : arguments.front();
  return splitWindowsCommandLine(commandLine, program);
}

std::wstring commandLineTail() {
  const auto& arguments = storedArguments();
  std::wstring tail;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (i > 1) tail += L' ';
    tail += arguments[i];
  }
  return tail;
}

std::optional<std::vector<std::wstring>> processArguments() {
  const auto& arguments = storedArguments();
  if (arguments.empty()) return std::nullopt;
  return arguments;
}

}  // namespace bu::platform
