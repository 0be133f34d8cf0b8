// File names in the locale's narrow form and back, losslessly: a byte the
// locale cannot read stands as the unpaired surrogate U+DC00 + byte (as
// ansiToWide writes it), so a name read from the configuration, a directory
// or an archive names the same file after a round trip through wide text.
#pragma once

#include <string>

namespace bu::platform {

// False when a character of `wide` has no narrow form (or is NUL).
bool toNarrow(const std::wstring& wide, std::string& narrow);
std::wstring toWide(const std::string& narrow);

}  // namespace bu::platform
