// Moving what the UnRAR library extracted into the staging directory on to
// the destination.
#pragma once

#include <string>
#include <vector>

#include "platform/staging_area.h"

namespace bu {

// One entry the library has extracted into the staging directory.
struct StagedEntry {
  std::wstring name;
  bool link;            // a link the library may have failed to make without saying so
  bool plainFile;       // a file, no link, whose archived mode holds no special bits
  bool plainDirectory;  // a directory entry whose archived mode holds no special bits
};

// Moves the staged entries into the destination in archive order. 0, or the
// library's code for an entry that could not be created (ERAR_ECREATE) when
// one is refused or a link is missing; the entries before it stay.
//
// With `complete` (the library extracted every entry of the archive, so the
// staging directory holds nothing else), a top-level directory whose entries
// are all plain files and directories, spelled one way only, is moved whole
// when the destination has nothing by its name: what it holds is exactly
// those entries, and nothing in the destination lies on their way.
int placeEntries(platform::StagingArea& staging, const std::vector<StagedEntry>& entries,
                 bool complete);

}  // namespace bu
