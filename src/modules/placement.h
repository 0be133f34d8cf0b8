// Moving what the UnRAR library extracted into the staging directory on to
// the destination, all or nothing.
//
// Nothing in the destination changes until the library has extracted the
// whole archive. Then the staged tree is walked once: special bits are
// cleared, and each node becomes one step: a node the destination lacks is
// new (a directory moves whole, with everything below it, in one move); a
// file or link over an existing one replaces it, the old one set aside in
// the staging directory; an existing directory is entered. The steps are
// journalled and flushed before the first move, and placement flushed when
// the last is taken; only then is the set-aside tree removed. A failure on
// the way undoes every step taken, newest first, so the destination is left
// as it was; a run killed on the way is undone by the next (recover).
#pragma once

#include <string>
#include <vector>

#include "modules/placement_journal.h"
#include "platform/placement_files.h"

namespace bu {

// One entry the library has extracted into the staging directory.
struct StagedEntry {
  std::wstring name;
  bool link;       // a link the library may have failed to make without saying so
  bool directory;  // a directory entry: an existing directory takes its permissions
  bool special = false;  // its header carries setuid, setgid or sticky bits
};

struct PlacementResult {
  int code = 0;           // 0, or the library's code for an entry that cannot be created
  bool changed = false;   // the destination was changed (and still is)
  bool undone = true;     // false: a failed placement could not be undone in full
};

// Places the staged tree. On failure every step taken is undone.
PlacementResult placeStaged(platform::PlacementFiles& files,
                            const std::vector<StagedEntry>& entries);

// Undoes the steps of a journal whose placement did not finish, newest
// first, by what lies on disk: a step that was never taken, or was undone
// already, is passed over. False when a step could not be undone.
bool rollBack(platform::PlacementFiles& files, const std::vector<PlacementStep>& steps);

}  // namespace bu
