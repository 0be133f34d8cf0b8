// The process's arguments, and the splitting of a command-line text into
// arguments by the Windows rules.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace bu::platform {

// Splits `commandLine` as CommandLineToArgvW does; the first token is the
// program name. Empty optional when the system cannot split it.
std::optional<std::vector<std::wstring>> splitCommandLine(const std::wstring& commandLine);

// The process's own arguments, program name first.
std::optional<std::vector<std::wstring>> processArguments();

// The process's command line after its program name, as typed: Windows skips
// the name in its wide command line as the startup code does for WinMain's
// tail (a quoted span may hold blanks), then the blanks after it. POSIX: the
// arguments after the name, joined by blanks.
std::wstring commandLineTail();

}  // namespace bu::platform
