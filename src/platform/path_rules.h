// How the file system treats the destination path given on the command line.
#pragma once

#include <string>

namespace bu::platform {

// The stored form of a destination path, kept wide so that every character
// of the directory's name survives: lower-cased (A-Z only) on Windows, whose
// file systems ignore case; unchanged on POSIX, where lower-casing would send
// the files to another directory.
std::wstring storedDestinationPath(const std::wstring& path);

// Whether a destination path counts as absolute: a drive letter and colon on
// Windows (the second character is ':'), a leading '/' on POSIX.
bool isAbsoluteDestinationPath(const std::wstring& path);

}  // namespace bu::platform
