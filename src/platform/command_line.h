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

}  // namespace bu::platform
