// What the POSIX destination and staging directory hold: descriptors only.
// Every operation is relative to a directory held open, and every
// component is opened with O_NOFOLLOW, so renaming or replacing anything in
// the destination while a run goes on cannot turn the run elsewhere.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/file_name_posix.h"
#include "platform/placement_files.h"
#include "platform/staging_area.h"
#include "platform/unique_descriptor_posix.h"

namespace bu::platform {

constexpr char kStagingPrefix[] = ".bu-extract-";

struct Destination::State {
  bool ready = false;
  UniqueDescriptor directory;  // held, and locked, for the run
  NodeStamp before;
  std::vector<std::string> made;  // directories made for it, outermost first
};

// A directory below a held one, the last opened kept: entries come
// directory by directory, so most walks are saved.
struct TreeRoot {
  UniqueDescriptor root;
  std::string cachedPath;
  UniqueDescriptor cached;
  bool cacheValid = false;

  // The directory `relative` below the root ("" is the root), never through
  // a link; -1 when a component is a link, no directory, or missing. The
  // descriptor stays the tree's.
  int open(const std::string& relative);
  void forget() { cacheValid = false; }
  // Forgets the cached directory when it is `path` or lies below it (it
  // moved with it).
  void forgetBelow(const std::wstring& path);
};

struct StagingState {
  std::shared_ptr<Destination::State> destination;
  std::string name;            // in the destination
  std::wstring wideName;
  UniqueDescriptor directory;  // the staging directory
  UniqueDescriptor journal;
  TreeRoot trees[3];           // by Tree: destination, staged, aside
  std::wstring libraryPath;    // empty: the library resolves from the current directory
  UniqueDescriptor returnTo;   // the current directory before enter()
  bool lookForSpecialBits = true;

  TreeRoot& tree(Tree which) { return trees[static_cast<int>(which)]; }
};

// The entries of a held directory, "." and ".." left out, read through a
// descriptor of its own so that the held one keeps its place; closed when
// the object goes.
class DirectoryListing {
 public:
  explicit DirectoryListing(int directory);
  ~DirectoryListing();
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  bool opened() const { return stream_ != nullptr; }
  // The next entry, or null at the end.
  const struct dirent* next();

 private:
  DIR* stream_ = nullptr;
};

// A directory's permissions and times, and putting them back (times only
// where this account owns it).
NodeStamp stampOf(const struct stat& status);
bool applyStamp(int directory, const NodeStamp& stamp);

// "a/b/c" -> parent "a/b", leaf "c".
void splitLast(const std::string& path, std::string& parent, std::string& leaf);

}  // namespace bu::platform
