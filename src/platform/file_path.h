// Full paths of files the program finds by bare name.
#pragma once

#include <string>

namespace bu::platform {

// The full path of `name` in the current directory; empty when the current
// directory cannot be learnt.
std::wstring fileInCurrentDirectory(const std::wstring& name);

}  // namespace bu::platform
