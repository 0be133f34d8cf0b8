#include "platform/staging_area.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/unique_descriptor_posix.h"

namespace bu::platform {
namespace {

constexpr char kStagingPattern[] = "/.bu-extract-XXXXXX";
constexpr mode_t kPermissionBits = 0777;
constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The narrow form the library makes of a wide name (wcstombs), or false when
// the locale cannot represent it.
bool narrowForm(const std::wstring& wide, std::string& narrow) {
  const std::size_t size = std::wcstombs(nullptr, wide.c_str(), 0);
  if (size == static_cast<std::size_t>(-1)) return false;
  narrow.assign(size, '\0');
  std::wcstombs(narrow.data(), wide.c_str(), size);
  return true;
}

std::wstring wideForm(const std::string& narrow) {
  std::wstring wide(narrow.size(), L'\0');
  const std::size_t count = std::mbstowcs(wide.data(), narrow.c_str(), wide.size());
  if (count == static_cast<std::size_t>(-1)) return L"\xD800";  // judged as unpaired
  wide.resize(count);
  return wide;
}

// "a/b/c" -> parent "a/b", leaf "c".
void splitLast(const std::string& path, std::string& parent, std::string& leaf) {
  const std::size_t slash = path.rfind('/');
  parent = slash == std::string::npos ? std::string() : path.substr(0, slash);
  leaf = slash == std::string::npos ? path : path.substr(slash + 1);
}

int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
  return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
}

}  // namespace

struct StagingArea::State {
  bool ready = false;
  std::wstring widePath;
  std::string path;              // the staging directory
  UniqueDescriptor destination;  // the destination directory
  UniqueDescriptor staging;      // the staging directory
  // The directories of the last entry placed, in both trees: entries come
  // directory by directory, so most walks are saved.
  std::string cachedParent;
  UniqueDescriptor cachedDestination;
  UniqueDescriptor cachedStaging;
  bool cacheValid = false;

  // Opens `relative` (components separated by '/') below `root`, never
  // through a link; with `make`, missing directories are made on the way.
  // -1 when a component is a link or no directory, or cannot be made.
  static int openBelow(int root, const std::string& relative, bool make) {
    UniqueDescriptor current(::dup(root));
    std::size_t begin = 0;
    while (current.get() >= 0 && begin < relative.size()) {
      std::size_t end = relative.find('/', begin);
      if (end == std::string::npos) end = relative.size();
      const std::string component = relative.substr(begin, end - begin);
      int next = ::openat(current.get(), component.c_str(), kDirectoryFlags);
      if (next < 0 && errno == ENOENT && make &&
          (::mkdirat(current.get(), component.c_str(), kPermissionBits) == 0 || errno == EEXIST)) {
        next = ::openat(current.get(), component.c_str(), kDirectoryFlags);
      }
      current.reset(next);
      begin = end + 1;
    }
    return current.release();
  }

  bool openParents(const std::string& parent) {
    if (cacheValid && parent == cachedParent) return true;
    cacheValid = false;
    cachedStaging.reset(openBelow(staging.get(), parent, false));
    cachedDestination.reset(openBelow(destination.get(), parent, true));
    if (cachedStaging.get() < 0 || cachedDestination.get() < 0) return false;
    cachedParent = parent;
    cacheValid = true;
    return true;
  }
};

StagingArea::StagingArea(const std::wstring& destination) : state_(std::make_unique<State>()) {
  std::string narrow;
  if (!narrowForm(destination, narrow) || narrow.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(narrow, error);
  state_->destination.reset(::open(narrow.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (state_->destination.get() < 0) return;
  std::string pattern = narrow + kStagingPattern;
  if (::mkdtemp(pattern.data()) == nullptr) return;
  state_->path = pattern;
  state_->staging.reset(::open(pattern.c_str(), kDirectoryFlags));
  state_->widePath = destination + wideForm(pattern.substr(narrow.size()));
  state_->ready = state_->staging.get() >= 0;
}

StagingArea::~StagingArea() {
  state_->cachedStaging.reset();
  state_->staging.reset();
  if (!state_->path.empty()) {
    ::nftw(state_->path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
}

bool StagingArea::ready() const { return state_->ready; }

const std::wstring& StagingArea::path() const { return state_->widePath; }

bool StagingArea::madeLink(const std::wstring& entry, std::wstring& target) const {
  std::string name;
  if (!narrowForm(entry, name)) return false;
  struct stat status;
  if (::fstatat(state_->staging.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISLNK(status.st_mode)) {
    return false;
  }
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length = ::readlinkat(state_->staging.get(), name.c_str(), buffer.data(),
                                      buffer.size());
  // A target that does not fit cannot be judged: an unpaired surrogate
  // makes the caller refuse it.
  target = length < 0 || static_cast<std::size_t>(length) >= buffer.size()
               ? std::wstring(L"\xD800")
               : wideForm(std::string(buffer.data(), static_cast<std::size_t>(length)));
  return true;
}

Placement StagingArea::place(const std::wstring& entry, bool plainFile) {
  std::string name;
  if (!state_->ready || !narrowForm(entry, name)) return Placement::Refused;
  std::string parent;
  std::string leaf;
  splitLast(name, parent, leaf);
  if (!state_->openParents(parent)) return Placement::Refused;
  const int from = state_->cachedStaging.get();
  const int to = state_->cachedDestination.get();
  if (plainFile) {
    if (::renameat(from, leaf.c_str(), to, leaf.c_str()) == 0) return Placement::Placed;
    if (errno == ENOENT) return Placement::Missing;
    return Placement::Refused;
  }

  struct stat staged;
  if (::fstatat(from, leaf.c_str(), &staged, AT_SYMLINK_NOFOLLOW) != 0) return Placement::Missing;
  const mode_t permissions = staged.st_mode & kPermissionBits;
  if (S_ISDIR(staged.st_mode)) {
    if (::mkdirat(to, leaf.c_str(), permissions) != 0 && errno != EEXIST) return Placement::Refused;
    UniqueDescriptor directory(::openat(to, leaf.c_str(), kDirectoryFlags));
    if (directory.get() < 0 || ::fchmod(directory.get(), permissions) != 0) {
      return Placement::Refused;
    }
    return Placement::Placed;
  }
  if (S_ISREG(staged.st_mode) && (staged.st_mode & ~(S_IFMT | kPermissionBits)) != 0 &&
      ::fchmodat(from, leaf.c_str(), permissions, 0) != 0) {
    return Placement::Refused;
  }
  return ::renameat(from, leaf.c_str(), to, leaf.c_str()) == 0 ? Placement::Placed
                                                                : Placement::Refused;
}

bool StagingArea::placeNewDirectory(const std::wstring& directory) {
  std::string name;
  if (!state_->ready || !narrowForm(directory, name) || name.empty() ||
      name.find('/') != std::string::npos) {
    return false;
  }
  struct stat staged;
  if (::fstatat(state_->staging.get(), name.c_str(), &staged, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISDIR(staged.st_mode)) {
    return false;
  }
  // The directories cached for the last entry may be the one that moves.
  state_->cacheValid = false;
  // RENAME_NOREPLACE: whatever lies at the name, a link included, stays.
  return ::renameat2(state_->staging.get(), name.c_str(), state_->destination.get(),
                     name.c_str(), RENAME_NOREPLACE) == 0;
}

}  // namespace bu::platform
