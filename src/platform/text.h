// Conversions between the 8-bit texts of the configuration and the log
// (the process's ANSI code page; on POSIX the locale's character set) and
// the wide texts of paths, arguments and message boxes.
#pragma once

#include <string>

namespace bu::platform {

std::wstring ansiToWide(const std::string& text);
std::string wideToAnsi(const std::wstring& text);

}  // namespace bu::platform
