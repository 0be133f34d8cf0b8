// Names of files inside the package folder, as the configuration gives them
// (an update's archive, a packaged module), and the same structural rule for
// the names of an archive's entries (modules/archive_entry_name.h).
#pragma once

#include <string>

namespace bu {

// The path rule for names inside a folder: `path` is not empty, does
// not begin with a separator (a root, a UNC name, a device prefix such as
// "\\?\"), holds no ':' (a drive, a stream) and has no component that is
// empty or only dots and blanks. The names the configuration gives for files
// of the package (an update's archive, a packaged module) must be such
// names, so that they stay inside the package folder.
bool isPathBelow(const std::wstring& path);

// Whether a file the configuration names (an update's archive, a packaged
// module) may be opened: its name is one isPathBelow accepts, and no
// component of it, the file included, is a link (a symbolic link, or on
// Windows a junction) that every open would follow out of the package.
bool isFileOfPackage(const std::wstring& path);

}  // namespace bu
