// The UnRAR library that unpacks an update's archive: verified and loaded
// from the package's "unrar.dll", used for one archive, then unloaded.
//
// The engine calls, per update entry: loadUnrar; if that answers 0,
// extractArchive; then releaseUnrar on every path.
#pragma once

#include <string>

#include "platform/code_module.h"
#include "platform/pinned_file.h"

namespace bu {

// The UnRAR library's file in the package.
extern const wchar_t kUnrarFileName[];

struct UnrarBinding {
  // The directory that receives the archive's content, as given: wide text
  // that reaches the library unchanged.
  std::wstring destinationPath;
  // The archive's file name or path, through its 8-bit form (the form the
  // library opens it by).
  std::wstring archivePath;
  // The verified file and the library loaded from it; the file stays pinned
  // while the library is loaded.
  platform::PinnedFile unrarFile;
  platform::CodeModule unrarModule;
};

// Verifies "unrar.dll" in the current directory and loads that same file.
// 0: loaded; 118: refused by the signature check or absent; 111: verified
// but the platform could not load it.
int loadUnrar(UnrarBinding& binding);

// Opens `archiveName` (the configuration's 8-bit text, opened by exactly
// those bytes) once to make sure it can be read (109 when it cannot),
// then extracts every entry below `destination`. 110 when an entry cannot be
// extracted, would land outside the destination, or its header cannot be
// read; files extracted before stay. 0 when the library reports the end of
// the archive.
// When `payload` is open (the archive's bytes pinned and checked against the
// package manifest), the library reads exactly those bytes; the log still
// names the archive as the configuration does.
int extractArchive(UnrarBinding& binding, const std::string& archiveName,
                   const std::wstring& destination,
                   const platform::PinnedFile* payload = nullptr);

// "UNRAR FAILURE: Failed while opening the RAR file ...", the line of an
// archive that cannot be opened.
void logArchiveNotOpened(const std::string& archive);

// Unloads the library and empties the binding.
void releaseUnrar(UnrarBinding& binding);

}  // namespace bu
