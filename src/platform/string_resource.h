// Texts of a module's string table.
#pragma once

#include <cstddef>
#include <string>

#include "platform/module.h"

namespace bu::platform {

// The text with `id` from the string table of `module`, cut to fit a
// buffer of `capacity` UTF-16 units including the terminator. An id the
// module does not hold gives an empty text.
std::wstring loadString(ModuleHandle module, unsigned id, std::size_t capacity);

// Loads the resource module at `fullPath` for its string table only: it is
// read as data, so no code in it ever runs. Null when it cannot be loaded.
// The module stays loaded until the process ends.
ModuleHandle loadStringModule(const std::wstring& fullPath);

}  // namespace bu::platform
