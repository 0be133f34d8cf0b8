// The extraction test driver: runs the UnRAR binding as the engine does for
// one entry (load, extract, release) on an archive and a destination given
// on the command line, and exits with the code it answered.
//
//   extract_probe <archive> <destination>
//
// Run it in the package's directory: unrar.dll is looked for there. Its log
// lines go to the program's log file.
#pragma once

#include <string>

namespace bu::test {

int runExtractProbe(const std::wstring& archive, const std::wstring& destination);

}  // namespace bu::test
