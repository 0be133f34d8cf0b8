// The two passes over an archive that extractArchive makes through the
// loaded UnRAR library. Each looks up the entry points it calls when it
// starts, opens the archive, and closes it again on every path.
#pragma once

#include <string>

#include "platform/code_module.h"

namespace bu {

// Opens the archive in list mode and closes it again. False (with its log
// line) when the library lacks an entry point the passes call, the archive
// cannot be opened, or - when `packageName` is set - its name is not one
// inside the package folder (it is then never opened). A name of pinned
// bytes is not a package name. `volume`, when given, learns whether the
// archive is one volume of a multi-volume archive.
bool probeArchive(const platform::CodeModule& library, const std::string& archiveName,
                  bool packageName = true, bool* volume = nullptr);

// Opens the archive in extract mode and extracts entry after entry below
// `destination`, each after its name has been judged. 0 when the library
// reports the end of the archive; 109 when the archive cannot be opened; 110
// (after the extract-error line, which names `destinationForLog` and the
// library's code) when an entry is refused, fails, or its header cannot be
// read.
int extractEntries(const platform::CodeModule& library, const std::string& archiveName,
                   const std::wstring& destination, const std::string& destinationForLog);

}  // namespace bu
