#include "platform/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

namespace bu::platform {
namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* list) const { LocalFree(list); }
};

std::optional<std::vector<std::wstring>> split(const wchar_t* commandLine) {
  int count = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> list(CommandLineToArgvW(commandLine, &count));
  if (!list) return std::nullopt;
  std::vector<std::wstring> tokens;
  for (int i = 0; i < count; ++i) tokens.emplace_back(list.get()[i]);
  return tokens;
}

}  // namespace

std::optional<std::vector<std::wstring>> splitCommandLine(const std::wstring& commandLine) {
  return split(commandLine.c_str());
}

std::optional<std::vector<std::wstring>> processArguments() {
  return split(GetCommandLineW());
}

std::wstring commandLineTail() {
  const wchar_t* at = GetCommandLineW();
  bool quoted = false;
  while (*at > L' ' || (*at != L'\0' && quoted)) {
    if (*at == L'"') quoted = !quoted;
    ++at;
  }
  while (*at != L'\0' && *at <= L' ') ++at;
  return at;
}

}  // namespace bu::platform
