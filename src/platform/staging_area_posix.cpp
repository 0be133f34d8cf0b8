// The destination and its staging directories on POSIX: made, locked, found
// again after a dead run, and removed, through descriptors only.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include "platform/staging_state_posix.h"

namespace bu::platform {
namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr char kStagedName[] = "new";
constexpr char kAsideName[] = "aside";
constexpr char kJournalName[] = "journal";

// Makes `path` and its missing parents; `made` receives those it made,
// outermost first.
bool makeDirectories(const std::string& path, std::vector<std::string>& made) {
  struct stat status;
  if (::stat(path.c_str(), &status) == 0) return S_ISDIR(status.st_mode);
  const std::size_t slash = path.find_last_not_of('/') == std::string::npos
                                ? std::string::npos
                                : path.rfind('/', path.find_last_not_of('/'));
  if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash), made)) {
    return false;
  }
  if (::mkdir(path.c_str(), 0777) != 0) return errno == EEXIST;
  made.push_back(path);
  return true;
}

// Removes everything inside the held directory `directory`, never following
// a link; false when something stays.
bool emptyDirectory(int directory) {
  DirectoryListing listing(directory);
  if (!listing.opened()) return false;
  bool emptied = true;
  while (const dirent* entry = listing.next()) {
    const char* name = entry->d_name;
    if (::unlinkat(directory, name, 0) == 0) continue;
    UniqueDescriptor inner(::openat(directory, name, kDirectoryFlags));
    if (inner.get() < 0 || !emptyDirectory(inner.get()) ||
        ::unlinkat(directory, name, AT_REMOVEDIR) != 0) {
      emptied = false;
    }
  }
  return emptied;
}

// Empties the held directory `directory`, then removes it by its `name` in
// `parent`, only while that name still leads to it: what another process
// renamed into its place is never touched.
bool removeHeld(int parent, const std::string& name, int directory) {
  if (!emptyDirectory(directory)) return false;
  struct stat named;
  struct stat held;
  if (::fstatat(parent, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      ::fstat(directory, &held) != 0 || named.st_ino != held.st_ino ||
      named.st_dev != held.st_dev) {
    return true;
  }
  return ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
}

std::string freshName() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[12];
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return {};
  std::string name = kStagingPrefix;
  for (unsigned char byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
  return name;
}

// Opens the parts of the staging directory `name` that its directory
// descriptor `directory` holds; null when one cannot be opened. A dead
// run's (`abandoned`) may have lost its trees, or its journal, to a clean-up
// that was cut short: the trees are made again, and a missing journal is
// told by readJournal.
std::unique_ptr<StagingArea> openStaging(const std::shared_ptr<Destination::State>& destination,
                                         const std::string& name, int directory, bool abandoned) {
  auto state = std::make_unique<StagingState>();
  state->destination = destination;
  state->name = name;
  state->wideName = toWide(name);
  state->directory.reset(directory);
  state->journal.reset(::openat(directory, kJournalName,
                                O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC | (abandoned ? 0 : O_CREAT),
                                0600));
  if (state->journal.get() < 0 && !(abandoned && errno == ENOENT)) return nullptr;
  state->tree(Tree::Destination).root.reset(::dup(destination->directory.get()));
  for (const Tree tree : {Tree::Staged, Tree::Aside}) {
    const char* treeName = tree == Tree::Staged ? kStagedName : kAsideName;
    if (abandoned) ::mkdirat(directory, treeName, 0700);
    state->tree(tree).root.reset(::openat(directory, treeName, kDirectoryFlags));
  }
  for (const TreeRoot& tree : state->trees) {
    if (tree.root.get() < 0) return nullptr;
  }
  return std::make_unique<StagingArea>(std::move(state));
}

}  // namespace

Destination::Destination(const std::wstring& path) : state_(std::make_shared<State>()) {
  std::string narrow;
  if (!toNarrow(path, narrow)) return;
  if (narrow.empty()) narrow = ".";
  if (!makeDirectories(narrow, state_->made)) return;
  state_->directory.reset(::open(narrow.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (state_->directory.get() < 0) return;
  // Runs into one destination take turns; a dead run's lock went with it.
  int locked;
  while ((locked = ::flock(state_->directory.get(), LOCK_EX)) != 0 && errno == EINTR) {
  }
  struct stat status;
  if (locked != 0 || ::fstat(state_->directory.get(), &status) != 0) return;
  state_->before = stampOf(status);
  state_->ready = true;
}

Destination::~Destination() {
  state_->directory.reset();
  for (auto made = state_->made.rbegin(); made != state_->made.rend(); ++made) {
    if (::rmdir(made->c_str()) != 0) break;
  }
}

bool Destination::ready() const { return state_->ready; }

const NodeStamp& Destination::stampBefore() const { return state_->before; }

bool Destination::restoreStamp(const NodeStamp& stamp) {
  return applyStamp(state_->directory.get(), stamp);
}

std::vector<std::unique_ptr<StagingArea>> Destination::abandoned() {
  std::vector<std::unique_ptr<StagingArea>> found;
  DirectoryListing listing(state_->directory.get());
  if (!listing.opened()) return found;
  while (const dirent* entry = listing.next()) {
    if (std::strncmp(entry->d_name, kStagingPrefix, sizeof kStagingPrefix - 1) != 0) continue;
    UniqueDescriptor directory(::openat(state_->directory.get(), entry->d_name, kDirectoryFlags));
    struct stat status;
    // Only this account's own: a directory another one planted under such a
    // name is never acted on.
    if (directory.get() < 0 || ::fstat(directory.get(), &status) != 0 ||
        status.st_uid != ::geteuid() || (status.st_mode & 077) != 0) {
      continue;
    }
    auto staging = openStaging(state_, entry->d_name, directory.release(), true);
    if (staging) found.push_back(std::move(staging));
  }
  return found;
}

std::unique_ptr<StagingArea> Destination::makeStaging() {
  if (!state_->ready) return nullptr;
  const int parent = state_->directory.get();
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string name = freshName();
    if (name.empty()) return nullptr;
    if (::mkdirat(parent, name.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    UniqueDescriptor directory(::openat(parent, name.c_str(), kDirectoryFlags));
    std::unique_ptr<StagingArea> staging;
    if (directory.get() >= 0 && ::mkdirat(directory.get(), kStagedName, 0700) == 0 &&
        ::mkdirat(directory.get(), kAsideName, 0700) == 0) {
      staging = openStaging(state_, name, ::dup(directory.get()), false);
    }
    if (!staging && directory.get() >= 0) removeHeld(parent, name, directory.get());
    return staging;
  }
  return nullptr;
}

StagingArea::StagingArea(std::unique_ptr<StagingState> state) : state_(std::move(state)) {}

StagingArea::~StagingArea() = default;

const std::wstring& StagingArea::path() const { return state_->libraryPath; }

// The library resolves its names from the current directory, which becomes
// the held staged tree: renaming or replacing anything in the destination
// cannot turn it elsewhere, and its paths are as short as they can be.
bool StagingArea::enter() {
  state_->returnTo.reset(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return state_->returnTo.get() >= 0 && ::fchdir(state_->tree(Tree::Staged).root.get()) == 0;
}

void StagingArea::leave() {
  if (state_->returnTo.get() >= 0 && ::fchdir(state_->returnTo.get()) == 0) {
    state_->returnTo.reset();
  }
}

std::string archiveNameFromStaging(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  std::vector<char> directory(PATH_MAX);
  if (::getcwd(directory.data(), directory.size()) == nullptr) return name;
  return std::string(directory.data()) + "/" + name;
}

const std::wstring& StagingArea::name() const { return state_->wideName; }

bool StagingArea::readJournal(std::string& records) const {
  records.clear();
  if (state_->journal.get() < 0) return false;
  char buffer[65536];
  for (off_t offset = 0;;) {
    const ssize_t got = ::pread(state_->journal.get(), buffer, sizeof buffer, offset);
    if (got < 0) return false;
    if (got == 0) return true;
    records.append(buffer, static_cast<std::size_t>(got));
    offset += got;
  }
}

bool StagingArea::remove(std::vector<LeftBehind>& left) {
  for (TreeRoot& tree : state_->trees) {
    tree.cached.reset();
    tree.forget();
    tree.root.reset();
  }
  state_->journal.reset();
  // The trees first, the journal last: a run killed on the way leaves a
  // journal that still says what the trees were for.
  const int directory = state_->directory.get();
  bool removed = true;
  for (const char* name : {kStagedName, kAsideName}) {
    UniqueDescriptor tree(::openat(directory, name, kDirectoryFlags));
    if (tree.get() >= 0 && (!emptyDirectory(tree.get()) ||
                            ::unlinkat(directory, name, AT_REMOVEDIR) != 0)) {
      removed = false;
    }
  }
  removed = removed && (::unlinkat(directory, kJournalName, 0) == 0 || errno == ENOENT) &&
            removeHeld(state_->destination->directory.get(), state_->name, directory);
  if (!removed) left.push_back({state_->wideName, false});
  state_->directory.reset();
  return removed;
}

}  // namespace bu::platform
