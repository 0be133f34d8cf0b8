// Opening a file of the package for reading.
#pragma once

#include "platform/temp_file.h"

namespace bu::platform {

// Opens `name` (relative to the current directory, or absolute) in binary
// mode for reading. Null when it is missing or unreadable, or when it is not
// a regular file: a directory or a device has no content to read.
UniqueFile openRegularFileForReading(const char* name);

}  // namespace bu::platform
