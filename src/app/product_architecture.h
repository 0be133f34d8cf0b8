// Whether the product is installed as 64-bit, and the hand-over of the whole
// run to the program's 64-bit build.
#pragma once

namespace bu {

bool isProduct64Bit();

// Starts brevUpdater64.exe with `commandLineTail`, waits for it and stores its
// exit code. False when it could not be started or its code is unknown.
bool launch64BitSibling(const char* commandLineTail, unsigned& exitCode);

}  // namespace bu
