// Where an archive is extracted before its entries reach the destination.
//
// The archives are not signed, links may already lie in the destination
// (planted there, or left by a product), and whoever can write the
// destination may rename or replace anything in it while a run goes on. The
// UnRAR library follows links: it writes through a link at an entry's name
// and makes missing directories through a linked one. So the library
// extracts into a fresh, private directory made inside the destination (on
// its file system), reached through a name nobody can swap, and the
// placement moves what it made into place afterwards (modules/placement).
//
// A staging directory holds three things: the staged tree ("new"), the
// set-aside tree ("aside") and the placement's journal. One a run left
// behind (killed, or the machine lost power) is found again by the next run
// into the same destination, and finished or undone.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/placement_files.h"

namespace bu::platform {

class StagingArea;

// A file the staging directory's removal could not remove.
struct LeftBehind {
  std::wstring path;
  bool atRestart;  // it will be removed when the machine restarts
};

// The directory an archive is extracted into, held open and locked for the
// whole run: a second run into the same destination waits until the first
// is done, so that runs never interleave and recovery never meets a live
// run's staging directory.
class Destination {
 public:
  // Opens `path` (made, with its missing parents, when it does not exist;
  // the destination itself is trusted as named, links and all); an empty
  // path names the current directory, as it does for the library.
  explicit Destination(const std::wstring& path);
  // Removes the directories the constructor made, when they are still empty.
  ~Destination();
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;

  bool ready() const;
  // The destination's permissions and times as they were when it was opened.
  const NodeStamp& stampBefore() const;
  // Puts the destination's own permissions and times back.
  bool restoreStamp(const NodeStamp& stamp);

  // The staging directories dead runs left behind (made by this account).
  std::vector<std::unique_ptr<StagingArea>> abandoned();
  // A new, empty staging directory; null when it cannot be made, or the
  // destination's name cannot be represented as the library would use it.
  std::unique_ptr<StagingArea> makeStaging();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

class StagingArea : public PlacementFiles {
 public:
  explicit StagingArea(std::unique_ptr<struct StagingState> state);
  ~StagingArea() override;
  StagingArea(const StagingArea&) = delete;
  StagingArea& operator=(const StagingArea&) = delete;

  // The directory the library extracts into, as a name that leads to the
  // held directory whatever happens to the names in the destination, while
  // the run is inside the staging directory (enter()).
  const std::wstring& path() const;
  // For the library's pass: where the platform resolves the library's names
  // from the held directory itself (POSIX: the current directory becomes the
  // staged tree, and path() is empty), it moves there; leave() goes back.
  // False when it cannot.
  bool enter();
  void leave();
  // The name of the staging directory in the destination, for the log.
  const std::wstring& name() const;

  // Whether the library made a symbolic link for `entry` (its name as the
  // library reports it); if so, `target` receives the link's target as it
  // lies on disk. Links whose target is known only once they are made (RAR 4
  // keeps it in the entry's data) are judged through this.
  bool madeLink(const std::wstring& entry, std::wstring& target) const;

  // The journal as it lies on disk (a dead run's).
  bool readJournal(std::string& records) const;

  // Removes the staging directory with everything it holds, never following
  // a link. What cannot be removed (a set-aside file still in use) is left
  // for removal at restart where the platform has that, and named in
  // `left`.
  bool remove(std::vector<LeftBehind>& left);

  NodeKind kind(Tree tree, const std::wstring& path) override;
  bool list(Tree tree, const std::wstring& path, std::vector<Node>& nodes) override;
  void lookForSpecialBits(bool look) override;
  bool move(Tree fromTree, const std::wstring& from, Tree toTree, const std::wstring& to) override;
  bool clearSpecialBits(const std::wstring& path) override;
  bool copyMode(const std::wstring& path) override;
  bool stamp(const std::wstring& path, NodeStamp& stamp) override;
  bool restoreStamp(const std::wstring& path, const NodeStamp& stamp) override;
  bool appendJournal(const std::string& records, bool durable) override;

 private:
  std::unique_ptr<struct StagingState> state_;
};

// The archive's name as the library must be given it to find the archive
// (and its further volumes) from inside the staging directory: absolute
// where enter() changes the current directory.
std::string archiveNameFromStaging(const std::string& name);

}  // namespace bu::platform
