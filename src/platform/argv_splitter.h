// Splits a command line into arguments by the rules of the Windows shell's
// CommandLineToArgvW. The POSIX port uses it for "sfxcmd"; the Windows port
// calls the system function, and a differential test holds the two together.
#pragma once

#include <string>
#include <vector>

namespace bu {

// The first token is the program name: it ends at the first blank or tab, or,
// when it begins with a double quote, at the next double quote; backslashes
// mean nothing in it. The other tokens follow the quote and backslash rules:
// 2n backslashes before a quote give n backslashes and the quote toggles
// quoting; 2n+1 give n backslashes and a literal quote; a quote that follows
// two quotes in a row is literal. An empty command line yields one token,
// `programPath`, as the system function yields the running program's path.
std::vector<std::wstring> splitWindowsCommandLine(const std::wstring& commandLine,
                                                  const std::wstring& programPath);

}  // namespace bu
