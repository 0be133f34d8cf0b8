// Texts of a module's string table.
#pragma once

#include <cstddef>
#include <string>

#include "platform/module.h"
#include "platform/pinned_file.h"

namespace bu::platform {

// A module read for its string table only: the program's own image or a
// resource module loaded as data. A type of its own, so that a module loaded
// as code (code_module.h) can never reach the string lookup. Null stands for
// the program's own table.
struct StringModule;
using StringModuleHandle = const StringModule*;

// The string table of the program's own image `instance`.
StringModuleHandle ownStringModule(ModuleHandle instance);

// The text with `id` from the string table of `module`, cut to fit a
// buffer of `capacity` UTF-16 units including the terminator. An id the
// module does not hold gives an empty text.
std::wstring loadString(StringModuleHandle module, unsigned id, std::size_t capacity);

// Loads the pinned resource module for its string table only: it is read as
// data, so no code in it ever runs, and what is read is the file that was
// pinned (and verified). Null when it cannot be loaded. The module stays
// loaded until the process ends.
StringModuleHandle loadStringModule(const PinnedFile& file);

}  // namespace bu::platform
