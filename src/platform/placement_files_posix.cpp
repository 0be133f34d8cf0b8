// The placement's file operations on POSIX: each relative to a directory
// descriptor opened component by component with O_NOFOLLOW.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/staging_state_posix.h"

namespace bu::platform {
namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr mode_t kSpecialBits = 07000;
constexpr long long kNanoseconds = 1000000000LL;

NodeKind kindOf(mode_t mode) {
  if (S_ISREG(mode)) return NodeKind::File;
  if (S_ISDIR(mode)) return NodeKind::Directory;
  if (S_ISLNK(mode)) return NodeKind::Link;
  return NodeKind::Other;
}

// The directory holding `path` in `tree`, and the leaf's name there.
int parentOf(StagingState& state, Tree tree, const std::wstring& path, std::string& leaf) {
  std::string narrow;
  if (!toNarrow(path, narrow) || narrow.empty()) return -1;
  std::string parent;
  splitLast(narrow, parent, leaf);
  return state.tree(tree).open(parent);
}

// A held directory for `path` in `tree` ("" is the tree itself).
int directoryOf(StagingState& state, Tree tree, const std::wstring& path) {
  std::string narrow;
  if (!toNarrow(path, narrow)) return -1;
  return state.tree(tree).open(narrow);
}

}  // namespace


DirectoryListing::DirectoryListing(int directory) {
  UniqueDescriptor own(directory < 0 ? -1 : ::dup(directory));
  stream_ = own.get() < 0 ? nullptr : ::fdopendir(own.get());
  if (stream_ == nullptr) return;
  own.release();
  ::rewinddir(stream_);
}

DirectoryListing::~DirectoryListing() {
  if (stream_ != nullptr) ::closedir(stream_);
}

const dirent* DirectoryListing::next() {
  const dirent* entry;
  do {
    entry = ::readdir(stream_);
  } while (entry != nullptr &&
           (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0));
  return entry;
}

NodeStamp stampOf(const struct stat& status) {
  NodeStamp stamp;
  stamp.mode = status.st_mode & 07777;
  stamp.accessed = status.st_atim.tv_sec * kNanoseconds + status.st_atim.tv_nsec;
  stamp.modified = status.st_mtim.tv_sec * kNanoseconds + status.st_mtim.tv_nsec;
  return stamp;
}

bool applyStamp(int directory, const NodeStamp& stamp) {
  struct stat status;
  if (::fstat(directory, &status) != 0) return false;
  if ((status.st_mode & 07777) != stamp.mode && ::fchmod(directory, stamp.mode) != 0) return false;
  const timespec times[2] = {{stamp.accessed / kNanoseconds, stamp.accessed % kNanoseconds},
                             {stamp.modified / kNanoseconds, stamp.modified % kNanoseconds}};
  // Only the owner may set times: elsewhere they stay as the run left them.
  ::futimens(directory, times);
  return true;
}

void splitLast(const std::string& path, std::string& parent, std::string& leaf) {
  const std::size_t slash = path.rfind('/');
  parent = slash == std::string::npos ? std::string() : path.substr(0, slash);
  leaf = slash == std::string::npos ? path : path.substr(slash + 1);
}

void TreeRoot::forgetBelow(const std::wstring& path) {
  std::string narrow;
  if (!cacheValid || !toNarrow(path, narrow)) return;
  if (cachedPath.compare(0, narrow.size(), narrow) == 0 &&
      (cachedPath.size() == narrow.size() || cachedPath[narrow.size()] == '/')) {
    cacheValid = false;
  }
}

int TreeRoot::open(const std::string& relative) {
  if (relative.empty()) return root.get();
  if (cacheValid && relative == cachedPath) return cached.get();
  cacheValid = false;
  UniqueDescriptor current(::dup(root.get()));
  for (std::size_t begin = 0; current.get() >= 0 && begin <= relative.size();) {
    std::size_t end = relative.find('/', begin);
    if (end == std::string::npos) end = relative.size();
    const std::string component = relative.substr(begin, end - begin);
    current.reset(component.empty() ? -1 : ::openat(current.get(), component.c_str(),
                                                     kDirectoryFlags));
    begin = end + 1;
  }
  if (current.get() < 0) return -1;
  cached.reset(current.release());
  cachedPath = relative;
  cacheValid = true;
  return cached.get();
}

bool StagingArea::madeLink(const std::wstring& entry, std::wstring& target) const {
  std::string leaf;
  const int parent = parentOf(*state_, Tree::Staged, entry, leaf);
  struct stat status;
  if (parent < 0 || ::fstatat(parent, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISLNK(status.st_mode)) {
    return false;
  }
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length = ::readlinkat(parent, leaf.c_str(), buffer.data(), buffer.size());
  // A target that does not fit cannot be judged: an unpaired surrogate
  // makes the caller refuse it.
  target = length < 0 || static_cast<std::size_t>(length) >= buffer.size()
               ? std::wstring(L"\xD800")
               : toWide(std::string(buffer.data(), static_cast<std::size_t>(length)));
  return true;
}

NodeKind StagingArea::kind(Tree tree, const std::wstring& path) {
  if (path.empty()) return NodeKind::Directory;
  std::string leaf;
  const int parent = parentOf(*state_, tree, path, leaf);
  struct stat status;
  if (parent < 0 || ::fstatat(parent, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return NodeKind::Missing;
  }
  return kindOf(status.st_mode);
}

void StagingArea::lookForSpecialBits(bool look) { state_->lookForSpecialBits = look; }

bool StagingArea::list(Tree tree, const std::wstring& path, std::vector<Node>& nodes) {
  nodes.clear();
  const int directory = directoryOf(*state_, tree, path);
  DirectoryListing listing(directory);
  if (!listing.opened()) return false;
  bool read = true;
  while (const dirent* entry = listing.next()) {
    Node node;
    node.name = toWide(entry->d_name);
    node.kind = entry->d_type == DT_REG   ? NodeKind::File
                : entry->d_type == DT_DIR ? NodeKind::Directory
                : entry->d_type == DT_LNK ? NodeKind::Link
                                          : NodeKind::Other;
    struct stat status;
    if (state_->lookForSpecialBits || entry->d_type == DT_UNKNOWN) {
      if (::fstatat(directory, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        read = false;
        break;
      }
      node.kind = kindOf(status.st_mode);
      node.special = !S_ISLNK(status.st_mode) && (status.st_mode & kSpecialBits) != 0;
    }
    nodes.push_back(std::move(node));
  }
  return read;
}

bool StagingArea::move(Tree fromTree, const std::wstring& from, Tree toTree,
                       const std::wstring& to) {
  std::string fromLeaf;
  std::string toLeaf;
  const int fromParent = parentOf(*state_, fromTree, from, fromLeaf);
  if (fromParent < 0) return false;
  // Within one tree, opening the target's parent may replace the source's
  // in the tree's cache: the source's is held here.
  UniqueDescriptor held(fromTree == toTree ? ::dup(fromParent) : -1);
  const int source = fromTree == toTree ? held.get() : fromParent;
  const int toParent = parentOf(*state_, toTree, to, toLeaf);
  if (source < 0 || toParent < 0) return false;
  bool moved = ::renameat2(source, fromLeaf.c_str(), toParent, toLeaf.c_str(),
                           RENAME_NOREPLACE) == 0;
  // A file system without RENAME_NOREPLACE: looked at first, then moved.
  struct stat status;
  if (!moved && errno == EINVAL &&
      ::fstatat(toParent, toLeaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) {
    moved = ::renameat(source, fromLeaf.c_str(), toParent, toLeaf.c_str()) == 0;
  }
  // A directory that moved may be the one a tree has cached, or lie above it.
  if (moved) {
    state_->tree(fromTree).forgetBelow(from);
    state_->tree(toTree).forgetBelow(to);
  }
  return moved;
}

bool StagingArea::clearSpecialBits(const std::wstring& path) {
  std::string leaf;
  const int parent = parentOf(*state_, Tree::Staged, path, leaf);
  struct stat status;
  // The staged tree is this run's alone: what the look found is what the
  // change reaches. A link's own mode is never changed.
  if (parent < 0 || ::fstatat(parent, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      S_ISLNK(status.st_mode)) {
    return false;
  }
  return ::fchmodat(parent, leaf.c_str(), status.st_mode & 0777, 0) == 0;
}

bool StagingArea::copyMode(const std::wstring& path) {
  std::string leaf;
  const int staged = parentOf(*state_, Tree::Staged, path, leaf);
  struct stat status;
  if (staged < 0 || ::fstatat(staged, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  UniqueDescriptor directory(::dup(directoryOf(*state_, Tree::Destination, path)));
  return directory.get() >= 0 && ::fchmod(directory.get(), status.st_mode & 0777) == 0;
}

bool StagingArea::stamp(const std::wstring& path, NodeStamp& stamp) {
  const int directory = directoryOf(*state_, Tree::Destination, path);
  struct stat status;
  if (directory < 0 || ::fstat(directory, &status) != 0) return false;
  stamp = stampOf(status);
  return true;
}

bool StagingArea::restoreStamp(const std::wstring& path, const NodeStamp& stamp) {
  const int directory = directoryOf(*state_, Tree::Destination, path);
  return directory >= 0 && applyStamp(directory, stamp);
}

bool StagingArea::appendJournal(const std::string& records, bool durable) {
  const int journal = state_->journal.get();
  for (std::size_t written = 0; written < records.size();) {
    const ssize_t wrote = ::write(journal, records.data() + written, records.size() - written);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    written += static_cast<std::size_t>(wrote);
  }
  // Flushed: the staged files' data and every move so far, then the record
  // that says they happened.
  return !durable || (::syncfs(journal) == 0 && ::fsync(journal) == 0);
}

}  // namespace bu::platform
