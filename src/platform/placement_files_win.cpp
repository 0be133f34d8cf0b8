// The placement's file operations on Windows: each on a directory reached
// component by component from a held root, every component opened as
// itself and held without delete sharing while it is used, so that the
// names the operations pass cannot be turned elsewhere meanwhile.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <winternl.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/staging_state_win.h"

namespace bu::platform {
namespace {

// The attributes a node keeps: what describes its kind is not set.
constexpr DWORD kLastingAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE;

constexpr DWORD kRemoveAccess = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES |
                                FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

// NTSTATUS values of a file system that renames nothing relative to a
// directory handle.
constexpr ULONG kInvalidParameter = 0xC000000DUL;
constexpr ULONG kNotImplemented = 0xC0000002UL;
constexpr ULONG kNotSupported = 0xC00000BBUL;

using SetInformationFile = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG,
                                            FILE_INFORMATION_CLASS);

NodeKind kindOf(DWORD attributes) {
  if (isLink(attributes)) return NodeKind::Link;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? NodeKind::Directory : NodeKind::File;
}

// `path` with '\' between its components ('/' is taken as well); false
// when a component is empty, "." or "..", or would name a stream.
bool nativeRelative(const std::wstring& path, std::wstring& native) {
  native = path;
  for (wchar_t& c : native) {
    if (c == L'/') c = L'\\';
  }
  if (native.empty()) return true;
  for (std::size_t begin = 0; begin <= native.size();) {
    std::size_t end = native.find(L'\\', begin);
    if (end == std::wstring::npos) end = native.size();
    const std::wstring component = native.substr(begin, end - begin);
    if (component.empty() || component == L"." || component == L".." ||
        component.find(L':') != std::wstring::npos) {
      return false;
    }
    begin = end + 1;
  }
  return true;
}

// The held directory that holds `path` in `tree`, and the leaf's name there.
HeldDirectory* parentOf(StagingState& state, Tree tree, const std::wstring& path,
                        std::wstring& leaf) {
  std::wstring native;
  if (path.empty() || !nativeRelative(path, native)) return nullptr;
  const std::size_t separator = native.rfind(L'\\');
  leaf = separator == std::wstring::npos ? native : native.substr(separator + 1);
  return state.tree(tree).open(separator == std::wstring::npos ? std::wstring()
                                                                : native.substr(0, separator));
}

// The held directory `path` in `tree` ("" is the tree itself).
HeldDirectory* directoryOf(StagingState& state, Tree tree, const std::wstring& path) {
  std::wstring native;
  return nativeRelative(path, native) ? state.tree(tree).open(native) : nullptr;
}

// The held directory opened again through its handle, with the right to
// change its attributes and times.
UniqueHandle writable(const HeldDirectory& directory) {
  return UniqueHandle(ReOpenFile(directory.handle,
                                 FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                                 kShareAll, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
}

SetInformationFile ntSetInformationFile() {
  static const auto function = reinterpret_cast<SetInformationFile>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile")));
  return function;
}

// Renames the node `source` holds to `leaf` in the held directory `parent`,
// never replacing anything there. The name is taken relative to the
// parent's handle; a file system that cannot do that gets the full names.
bool renameInto(HANDLE source, const HeldDirectory& parent, const std::wstring& leaf,
                const std::wstring& from) {
  std::vector<unsigned char> buffer(
      offsetof(FILE_RENAME_INFO, FileName) + (leaf.size() + 1) * sizeof(wchar_t), 0);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = parent.handle;
  rename->FileNameLength = static_cast<DWORD>(leaf.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, leaf.data(), leaf.size() * sizeof(wchar_t));
  if (const SetInformationFile set = ntSetInformationFile()) {
    IO_STATUS_BLOCK status{};
    const ULONG result = static_cast<ULONG>(set(source, &status, rename,
                                                static_cast<ULONG>(buffer.size()),
                                                FileRenameInformation));
    if (result < 0x80000000UL) return true;
    if (result != kInvalidParameter && result != kNotImplemented && result != kNotSupported) {
      return false;
    }
  }
  return MoveFileExW(from.c_str(), (parent.path + L"\\" + leaf).c_str(), 0) != 0;
}

// What leaves the staging directory takes the permissions its new folder
// gives: the staging directory's private ones go with an empty, inherited
// access list (the system fills it from the folder, and below a directory).
bool inheritPermissions(HANDLE node) {
  ACL empty;
  if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return false;
  return SetSecurityInfo(node, SE_FILE_OBJECT,
                         DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                         nullptr, nullptr, &empty, nullptr) == ERROR_SUCCESS;
}

DWORD lasting(DWORD attributes) {
  const DWORD kept = attributes & kLastingAttributes;
  return kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept;
}

// Removes everything inside the directory `directory` holds; false when
// something stays.
bool emptyDirectory(HANDLE directory, const std::wstring& path, std::vector<LeftBehind>& left) {
  std::vector<DirectoryEntry> entries;
  if (!listDirectory(directory, entries)) {
    left.push_back({displayName(path), false});
    return false;
  }
  bool emptied = true;
  for (const DirectoryEntry& entry : entries) {
    if (!removeNode(path + L"\\" + entry.name, left)) emptied = false;
  }
  return emptied;
}

}  // namespace

UniqueHandle openNode(const std::wstring& path, DWORD access, DWORD sharing) {
  return UniqueHandle(CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
}

UniqueHandle openHeldDirectory(const std::wstring& path, DWORD access) {
  UniqueHandle directory = openNode(path, access, kHeldSharing);
  BY_HANDLE_FILE_INFORMATION information;
  const DWORD named = GetFileAttributesW(path.c_str());
  if (!directory || !GetFileInformationByHandle(directory.get(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      isLink(information.dwFileAttributes) || named == INVALID_FILE_ATTRIBUTES || isLink(named)) {
    return UniqueHandle();
  }
  return directory;
}

bool listDirectory(HANDLE directory, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  std::vector<LONGLONG> buffer(8192);
  const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
  FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(directory, kind, buffer.data(), size)) {
    kind = FileFullDirectoryInfo;
    const auto* at = reinterpret_cast<const unsigned char*>(buffer.data());
    for (;;) {
      const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(at);
      std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") entries.push_back({std::move(name), entry->FileAttributes});
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  const DWORD error = GetLastError();
  return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND;
}

bool readStamp(HANDLE node, NodeStamp& stamp) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(node, FileBasicInfo, &basic, sizeof basic)) return false;
  stamp.mode = basic.FileAttributes;
  stamp.accessed = basic.LastAccessTime.QuadPart;
  stamp.modified = basic.LastWriteTime.QuadPart;
  return true;
}

bool applyStamp(HANDLE node, const NodeStamp& stamp) {
  FILE_BASIC_INFO basic{};
  basic.LastAccessTime.QuadPart = stamp.accessed;
  basic.LastWriteTime.QuadPart = stamp.modified;
  basic.FileAttributes = lasting(stamp.mode);
  return SetFileInformationByHandle(node, FileBasicInfo, &basic, sizeof basic) != 0;
}

bool setAttributes(HANDLE node, DWORD attributes) {
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.FileAttributes = lasting(attributes);
  return SetFileInformationByHandle(node, FileBasicInfo, &basic, sizeof basic) != 0;
}

std::wstring displayName(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

// Deletes the node `node` holds once it is closed; a read-only file loses
// the attribute first.
bool markDeleted(HANDLE node, DWORD attributes) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (SetFileInformationByHandle(node, FileDispositionInfo, &disposition, sizeof disposition)) {
    return true;
  }
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
         setAttributes(node, attributes & ~FILE_ATTRIBUTE_READONLY) &&
         SetFileInformationByHandle(node, FileDispositionInfo, &disposition, sizeof disposition);
}

// Removes the node at `path` with everything below it, never following a
// link. A file in use (held open by a program, or a running program or
// loaded library, which can be renamed but not deleted) is left for removal
// at restart where this account may ask for that, and named in `left`.
bool removeNode(const std::wstring& path, std::vector<LeftBehind>& left) {
  const UniqueHandle node = openNode(path, kRemoveAccess, kShareAll);
  if (!node && (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)) {
    return true;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (node && GetFileInformationByHandle(node.get(), &information)) {
    const DWORD attributes = information.dwFileAttributes;
    const DWORD named = GetFileAttributesW(path.c_str());
    const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !isLink(attributes) &&
                           named != INVALID_FILE_ATTRIBUTES && !isLink(named);
    if (directory && !emptyDirectory(node.get(), path, left)) return false;
    if (markDeleted(node.get(), attributes)) return true;
  }
  const bool atRestart = MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
  left.push_back({displayName(path), atRestart});
  return false;
}

HeldDirectory* TreeRoot::open(const std::wstring& relative) {
  if (cacheValid && relative == cachedPath) return &cached;
  forget();
  HeldDirectory held;
  held.path = path;
  held.handle = root.get();
  for (std::size_t begin = 0; !relative.empty() && begin <= relative.size();) {
    std::size_t end = relative.find(L'\\', begin);
    if (end == std::wstring::npos) end = relative.size();
    held.path += L"\\" + relative.substr(begin, end - begin);
    UniqueHandle next = openHeldDirectory(held.path, kHeldAccess);
    if (!next) return nullptr;
    held.handle = next.get();
    held.chain.push_back(std::move(next));
    begin = end + 1;
  }
  cached = std::move(held);
  cachedPath = relative;
  cacheValid = true;
  return &cached;
}

// The library takes wide names on Windows and makes links from the target
// its header shows, which is judged before the entry is extracted.
bool StagingArea::madeLink(const std::wstring&, std::wstring&) const { return false; }

NodeKind StagingArea::kind(Tree tree, const std::wstring& path) {
  if (path.empty()) return NodeKind::Directory;
  std::wstring leaf;
  const HeldDirectory* parent = parentOf(*state_, tree, path, leaf);
  // The name's own attributes: a link is never followed, and Wine shows a
  // Unix link to a directory as a link only here.
  const DWORD attributes =
      parent == nullptr ? INVALID_FILE_ATTRIBUTES
                        : GetFileAttributesW((parent->path + L"\\" + leaf).c_str());
  return attributes == INVALID_FILE_ATTRIBUTES ? NodeKind::Missing : kindOf(attributes);
}

bool StagingArea::list(Tree tree, const std::wstring& path, std::vector<Node>& nodes) {
  nodes.clear();
  const HeldDirectory* directory = directoryOf(*state_, tree, path);
  std::vector<DirectoryEntry> entries;
  if (directory == nullptr || !listDirectory(directory->handle, entries)) return false;
  for (DirectoryEntry& entry : entries) {
    Node node;
    node.name = std::move(entry.name);
    node.kind = kindOf(entry.attributes);
    nodes.push_back(std::move(node));
  }
  return true;
}

bool StagingArea::move(Tree fromTree, const std::wstring& from, Tree toTree,
                       const std::wstring& to) {
  std::wstring fromLeaf;
  std::wstring toLeaf;
  HeldDirectory* source = parentOf(*state_, fromTree, from, fromLeaf);
  if (source == nullptr) return false;
  // Both parents stay held through the move, taken from the trees' caches.
  const HeldDirectory fromParent = std::move(*source);
  state_->tree(fromTree).forget();
  HeldDirectory* target = parentOf(*state_, toTree, to, toLeaf);
  if (target == nullptr) return false;
  const HeldDirectory toParent = std::move(*target);
  // A directory that moves may be the one a tree holds, or lie above it.
  for (TreeRoot& tree : state_->trees) tree.forget();

  const bool leavesStaging = fromTree == Tree::Staged && toTree == Tree::Destination &&
                             state_->destination->persistentAcls;
  const std::wstring fromPath = fromParent.path + L"\\" + fromLeaf;
  // Delete access is what a rename needs: a file another program holds
  // open without delete sharing is refused here, before anything moved.
  const UniqueHandle node =
      openNode(fromPath, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE |
                             (leavesStaging ? READ_CONTROL | WRITE_DAC : 0),
               kShareAll);
  if (!node || !renameInto(node.get(), toParent, toLeaf, fromPath)) return false;
  return !leavesStaging || inheritPermissions(node.get());
}

// Windows has no setuid, setgid or sticky bit.
void StagingArea::lookForSpecialBits(bool) {}

bool StagingArea::clearSpecialBits(const std::wstring&) { return true; }

bool StagingArea::copyMode(const std::wstring& path) {
  const HeldDirectory* staged = directoryOf(*state_, Tree::Staged, path);
  BY_HANDLE_FILE_INFORMATION information;
  if (staged == nullptr || !GetFileInformationByHandle(staged->handle, &information)) return false;
  const HeldDirectory* placed = directoryOf(*state_, Tree::Destination, path);
  const UniqueHandle directory = placed == nullptr ? UniqueHandle() : writable(*placed);
  // Hidden is left out, as the staging directory is hidden.
  return directory &&
         setAttributes(directory.get(), information.dwFileAttributes & ~FILE_ATTRIBUTE_HIDDEN);
}

bool StagingArea::stamp(const std::wstring& path, NodeStamp& stamp) {
  const HeldDirectory* directory = directoryOf(*state_, Tree::Destination, path);
  return directory != nullptr && readStamp(directory->handle, stamp);
}

bool StagingArea::restoreStamp(const std::wstring& path, const NodeStamp& stamp) {
  const HeldDirectory* directory = directoryOf(*state_, Tree::Destination, path);
  const UniqueHandle changeable = directory == nullptr ? UniqueHandle() : writable(*directory);
  return changeable && applyStamp(changeable.get(), stamp);
}

bool StagingArea::appendJournal(const std::string& records, bool durable) {
  const HANDLE journal = state_->journal.get();
  LARGE_INTEGER end{};
  if (journal == nullptr || !SetFilePointerEx(journal, end, nullptr, FILE_END)) return false;
  for (std::size_t written = 0; written < records.size();) {
    DWORD wrote = 0;
    if (!WriteFile(journal, records.data() + written,
                   static_cast<DWORD>(records.size() - written), &wrote, nullptr) ||
        wrote == 0) {
      return false;
    }
    written += wrote;
  }
  return !durable || FlushFileBuffers(journal) != 0;
}

}  // namespace bu::platform
