// What the Windows destination and staging directory hold: handles, and the
// full names (in the "\\?\" form, so that no length limit applies) that lead
// to them. A directory is reached one component at a time, each opened as
// itself (never through a junction or a symbolic link) and held open without
// delete sharing: while held, no component can be renamed, removed or
// replaced, so its name keeps leading to the directory that was checked.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/placement_files.h"
#include "platform/staging_area.h"

namespace bu::platform {

constexpr wchar_t kStagingPrefix[] = L".bu-extract-";

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) { reset(handle); }
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE handle = nullptr) {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Access and sharing of a held directory: listed, walked through and its
// attributes read; readers and writers may share it, nobody may delete or
// rename it.
constexpr DWORD kHeldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES |
                              READ_CONTROL | SYNCHRONIZE;
constexpr DWORD kHeldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens the node at the full name `path` itself: a junction or a symbolic
// link is opened as the link, never followed. Null when it cannot be opened.
UniqueHandle openNode(const std::wstring& path, DWORD access, DWORD sharing);
// Opens `path` as held directory; null unless it is a directory and no link.
UniqueHandle openHeldDirectory(const std::wstring& path, DWORD access);

// Whether `attributes` (of a handle, or of a name) are a link's: Wine shows
// a Unix link to a directory so in a name's attributes only.
inline bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

struct DirectoryEntry {
  std::wstring name;
  DWORD attributes;
};
// The entries of the held directory `directory` ("." and ".." left out).
bool listDirectory(HANDLE directory, std::vector<DirectoryEntry>& entries);

// A node's attributes and times as a stamp, and putting them back; the
// lasting attributes only (never "directory", "reparse point" and the like).
bool readStamp(HANDLE node, NodeStamp& stamp);
bool applyStamp(HANDLE node, const NodeStamp& stamp);
bool setAttributes(HANDLE node, DWORD attributes);

// Deletes the node `node` holds once it is closed.
bool markDeleted(HANDLE node, DWORD attributes);
// Removes the node at the full name `path` with everything below it, never
// following a link; what is in use stays, named in `left`.
bool removeNode(const std::wstring& path, std::vector<LeftBehind>& left);

// A full name as the log shows it: without the "\\?\" prefix.
std::wstring displayName(const std::wstring& path);

struct Destination::State {
  bool ready = false;
  std::wstring path;        // full, "\\?\" form, no trailing separator
  UniqueHandle directory;   // held for the run
  UniqueHandle lock;        // the lock file, removed when closed
  bool persistentAcls = false;
  NodeStamp before;
  std::vector<std::wstring> made;  // directories made for it, outermost first
};

// A directory reached from a tree's root, with the chain of handles that
// holds every component below the root.
struct HeldDirectory {
  std::wstring path;  // full name
  HANDLE handle = nullptr;
  std::vector<UniqueHandle> chain;
};

// The last directory opened below a tree's root is kept: entries come
// directory by directory, so most walks are saved.
struct TreeRoot {
  std::wstring path;  // full name of the root
  UniqueHandle root;
  std::wstring cachedPath;
  HeldDirectory cached;
  bool cacheValid = false;

  // The directory `relative` ('\'-separated, "" is the root) below the
  // root; null when a component is a link, no directory, or missing. The
  // result stays the tree's until the next call or forget().
  HeldDirectory* open(const std::wstring& relative);
  // Closes the kept handles: Windows renames no directory while anything
  // below it is open.
  void forget() {
    cacheValid = false;
    cached = HeldDirectory{};
  }
};

struct StagingState {
  std::shared_ptr<Destination::State> destination;
  std::wstring name;         // in the destination
  std::wstring path;         // full name of the staging directory
  UniqueHandle directory;    // the staging directory, held with delete access
  UniqueHandle journal;
  TreeRoot trees[3];         // by Tree: destination, staged, aside
  std::wstring libraryPath;  // the staged tree's full name

  TreeRoot& tree(Tree which) { return trees[static_cast<int>(which)]; }
};

}  // namespace bu::platform
