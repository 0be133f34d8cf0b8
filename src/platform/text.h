// Conversions between the 8-bit texts of the configuration and the log
// (the process's ANSI code page; on POSIX the locale's character set) and
// the wide texts of paths, arguments and message boxes.
#pragma once

#include <string>

namespace bu::platform {

std::wstring ansiToWide(const std::string& text);
std::string wideToAnsi(const std::wstring& text);

// Whether the UnRAR library, handed `text` as a name or a link target, uses
// exactly that text. On POSIX it converts it to the locale's narrow form,
// and that conversion stops at the first character it cannot represent (an
// unpaired surrogate; any non-ASCII character in the C locale), so "..<x>"
// would become ".."; on Windows it uses the wide text as it is.
bool libraryKeepsText(const std::wstring& text);

}  // namespace bu::platform
