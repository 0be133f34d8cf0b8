// Whether the product is installed as 64-bit, and the hand-over of the whole
// run to the program's 64-bit build.
#pragma once

#include <string>

namespace bu {

// The 64-bit build's file in the package, started by this relative name.
extern const char kSiblingProgram[];

// Whether the run belongs to the 64-bit build: this is a 32-bit process on
// 64-bit Windows, the mode is not list, the configuration is accepted, and
// the first authorization module that resolves is an x64 image.
bool isProduct64Bit();

// Whether the file at `path` is an image whose machine is x64.
bool isModule64Bit(const std::wstring& path);

// Starts brevUpdater64.exe with this process's command-line tail, waits for
// it and stores its exit code. False when it could not be started or its
// code is unknown.
bool launch64BitSibling(unsigned& exitCode);

}  // namespace bu
