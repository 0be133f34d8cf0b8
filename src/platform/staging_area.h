// Where an archive is extracted before its entries reach the destination.
//
// The archives are not signed, and links may already lie in the destination
// (planted there, or left by a product). The UnRAR library follows both: it
// writes through a link at an entry's name and makes missing directories
// through a linked one. So the library extracts into a fresh, private,
// empty directory made inside the destination (on its file system), and
// each finished entry is then moved into place here, one component at a
// time, never through a link. A file that replaces another is renamed over
// it once complete, so a failed extraction leaves the old file whole.
#pragma once

#include <memory>
#include <string>

namespace bu::platform {

// What moving one staged entry into the destination came to.
enum class Placement {
  Placed,   // the entry is in the destination
  Missing,  // the library made nothing under the entry's name
  Refused,  // a link, or something that is not a directory, lies on the
            // entry's way in the destination; nothing was changed there
};

class StagingArea {
 public:
  // Makes `destination` if it does not exist (the destination itself is
  // trusted as named, links and all), then the staging directory inside it.
  explicit StagingArea(const std::wstring& destination);
  // Removes the staging directory with whatever it still holds, never
  // following a link.
  ~StagingArea();
  StagingArea(const StagingArea&) = delete;
  StagingArea& operator=(const StagingArea&) = delete;

  // False when the destination or the staging directory could not be made,
  // or the destination's name cannot be represented as the library would
  // use it.
  bool ready() const;
  // The directory the library extracts into.
  const std::wstring& path() const;

  // Whether the library made a symbolic link for `entry` (its name as the
  // library reports it); if so, `target` receives the link's target as it
  // lies on disk. Links whose target is known only once they are made (RAR 4
  // keeps it in the entry's data) are judged through this.
  bool madeLink(const std::wstring& entry, std::wstring& target) const;

  // Moves the staged `entry` into the same place below the destination.
  // Missing directories on the way are made; an existing link or non-
  // directory on the way refuses the entry. A directory entry makes or keeps
  // a real directory and gives it the entry's permissions. Any other entry
  // replaces what lies at its name (a link itself, not what it points to),
  // except a directory. setuid, setgid and sticky bits are never carried over.
  // `plainFile` says that the entry's header shows a file that is no link and
  // holds no such bits: it is then renamed into place without a look at what
  // the library made.
  Placement place(const std::wstring& entry, bool plainFile = false);

  // Moves the staged top-level directory `name` into the destination whole,
  // with everything below it, when nothing at all lies there under that
  // name; false, with nothing changed, otherwise. An archive extracted into
  // a new directory then costs one move instead of one for each entry; the
  // caller vouches for what the staged directory holds.
  bool placeNewDirectory(const std::wstring& name);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace bu::platform
