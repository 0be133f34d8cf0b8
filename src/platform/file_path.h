// Full paths of files the program finds by bare name.
#pragma once

#include <string>

namespace bu::platform {

// The full path of `name` in the current directory; empty when the current
// directory cannot be learnt.
std::wstring fileInCurrentDirectory(const std::wstring& name);

// Whether a path relative to the current directory passes a link on its way:
// any of its components, the last one included, that is a symbolic link (on
// Windows any reparse point: a symbolic link or a junction). A component that
// does not exist ends the walk: there is nothing to follow.
bool passesLink(const std::wstring& relativePath);

}  // namespace bu::platform
