// The destination and its staging directories on Windows: made, locked,
// found again after a dead run, and removed, through held handles.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <iterator>
#include <memory>
#include <vector>

#include "platform/staging_state_win.h"

namespace bu::platform {
namespace {

constexpr wchar_t kPrefix[] = L"\\\\?\\";
constexpr wchar_t kLockName[] = L".bu-extract.lock";
constexpr wchar_t kStagedName[] = L"new";
constexpr wchar_t kAsideName[] = L"aside";
constexpr wchar_t kJournalName[] = L"journal";
// The staging directory is held with the right to delete it: it is removed
// through the very handle that kept it from being renamed.
constexpr DWORD kStagingAccess = kHeldAccess | DELETE | FILE_WRITE_ATTRIBUTES;
constexpr DWORD kLockWaitMilliseconds = 50;
// A lock file its last holder just closed is refused until it is gone.
constexpr unsigned kLockDeniedRetries = 100;

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

// `path` as a full name in the "\\?\" form, in which no length limit
// applies and nothing is rewritten; "" is the current directory.
std::wstring fullName(const std::wstring& path) {
  if (path.compare(0, 4, kPrefix) == 0) return path;
  const std::wstring named = path.empty() ? L"." : path;
  const DWORD needed = GetFullPathNameW(named.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::vector<wchar_t> buffer(needed, L'\0');
  const DWORD length = GetFullPathNameW(named.c_str(), needed, buffer.data(), nullptr);
  if (length == 0 || length >= needed) return {};
  const std::wstring full(buffer.data(), length);
  if (full.compare(0, 4, L"\\\\.\\") == 0) return kPrefix + full.substr(4);
  if (full.compare(0, 2, L"\\\\") == 0) return kPrefix + (L"UNC\\" + full.substr(2));
  return kPrefix + full;
}

// The length of the root of a full name ("\\?\C:\", "\\?\UNC\server\share\"),
// its separator included.
std::size_t rootLength(const std::wstring& path) {
  std::size_t end = path.find(L'\\', 4);
  if (path.compare(4, 4, L"UNC\\") == 0) {
    end = path.find(L'\\', 8);
    if (end != std::wstring::npos) end = path.find(L'\\', end + 1);
  }
  return end == std::wstring::npos ? path.size() : end + 1;
}

// Makes `path` and its missing parents; `made` receives those it made,
// outermost first.
bool makeDirectories(const std::wstring& path, std::size_t root, std::vector<std::wstring>& made) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::size_t separator = path.rfind(L'\\');
  if (separator == std::wstring::npos || separator + 1 < root) return false;
  if (separator + 1 > root && !makeDirectories(path.substr(0, separator), root, made)) return false;
  if (!CreateDirectoryW(path.c_str(), nullptr)) return GetLastError() == ERROR_ALREADY_EXISTS;
  made.push_back(path);
  return true;
}

// This process's user, as its token names it.
bool currentUser(std::vector<unsigned char>& tokenUser) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  const UniqueHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  tokenUser.resize(size);
  return GetTokenInformation(raw, TokenUser, tokenUser.data(), size, &size) != 0;
}

PSID sidOf(std::vector<unsigned char>& tokenUser) {
  return reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid;
}

// Owned by `user`, who with SYSTEM and the Administrators alone may use it;
// protected, so that nothing the destination grants reaches in.
LocalMemory privateSecurity(PSID user) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(user, &text)) return nullptr;
  const LocalMemory sidText(text);
  const std::wstring sid = text;
  const std::wstring sddl =
      L"O:" + sid + L"D:P(A;OICI;FA;;;" + sid + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return nullptr;
  }
  return LocalMemory(descriptor);
}

bool ownedBy(HANDLE node, PSID user) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(node, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const LocalMemory held(descriptor);
  return owner != nullptr && EqualSid(owner, user);
}

std::wstring freshName() {
  static const wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[12];
  if (!RtlGenRandom(random, sizeof random)) return {};
  std::wstring name = kStagingPrefix;
  for (unsigned char byte : random) name += kLetters[byte % (std::size(kLetters) - 1)];
  return name;
}

// Opens the parts of the staging directory `name` that `directory` holds;
// null when one cannot be opened. A dead run's (`abandoned`) may have lost
// its trees, or its journal, to a clean-up that was cut short: the trees are
// made again, and a missing journal is told by readJournal.
std::unique_ptr<StagingArea> openStaging(const std::shared_ptr<Destination::State>& destination,
                                         const std::wstring& name, UniqueHandle directory,
                                         bool abandoned) {
  auto state = std::make_unique<StagingState>();
  state->destination = destination;
  state->name = name;
  state->path = destination->path + L"\\" + name;
  state->directory = std::move(directory);
  const std::wstring journalPath = state->path + L"\\" + kJournalName;
  state->journal.reset(CreateFileW(journalPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                   FILE_SHARE_READ, nullptr, abandoned ? OPEN_EXISTING : OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION journal;
  if (!state->journal) {
    if (!abandoned || GetLastError() != ERROR_FILE_NOT_FOUND) return nullptr;
  } else if (!GetFileInformationByHandle(state->journal.get(), &journal) ||
             (journal.dwFileAttributes &
              (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return nullptr;
  }
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), destination->directory.get(), GetCurrentProcess(),
                       &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  state->tree(Tree::Destination).root.reset(copy);
  state->tree(Tree::Destination).path = destination->path;
  state->tree(Tree::Staged).path = state->path + L"\\" + kStagedName;
  state->tree(Tree::Aside).path = state->path + L"\\" + kAsideName;
  for (Tree tree : {Tree::Staged, Tree::Aside}) {
    TreeRoot& root = state->tree(tree);
    if (abandoned) CreateDirectoryW(root.path.c_str(), nullptr);
    root.root = openHeldDirectory(root.path, kHeldAccess);
    if (!root.root) return nullptr;
  }
  // The library writes through this name: no component of it can be
  // renamed while the run holds the staging directory and the destination.
  state->libraryPath = state->tree(Tree::Staged).path;
  return std::make_unique<StagingArea>(std::move(state));
}

// Takes the destination's lock file, waiting while another run holds it.
// `before` is the destination's stamp just before the file was made: the
// file is no change of the run's.
bool takeLock(Destination::State& state) {
  const std::wstring name = state.path + L"\\" + kLockName;
  for (unsigned denied = 0;;) {
    if (!readStamp(state.directory.get(), state.before)) return false;
    state.lock.reset(CreateFileW(name.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, 0,
                                 nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE |
                                     FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
    if (state.lock) break;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION &&
        (error != ERROR_ACCESS_DENIED || ++denied > kLockDeniedRetries)) {
      return false;
    }
    Sleep(kLockWaitMilliseconds);
  }
  BY_HANDLE_FILE_INFORMATION lock;
  return GetFileInformationByHandle(state.lock.get(), &lock) &&
         (lock.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

}  // namespace

Destination::Destination(const std::wstring& path) : state_(std::make_shared<State>()) {
  State& state = *state_;
  std::wstring full = fullName(path);
  if (full.empty()) return;
  const std::size_t root = rootLength(full);
  while (!full.empty() && full.back() == L'\\') full.pop_back();
  if (full.size() >= root && !makeDirectories(full, root, state.made)) return;
  state.path = full;
  // The destination is trusted as named, links and all; held without
  // delete sharing, it cannot be renamed or removed while the run goes on.
  const std::wstring opened = full.size() < root ? full + L"\\" : full;
  for (const DWORD access : {kHeldAccess | FILE_WRITE_ATTRIBUTES, kHeldAccess}) {
    state.directory.reset(CreateFileW(opened.c_str(), access, kHeldSharing, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (state.directory) break;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!state.directory || !GetFileInformationByHandle(state.directory.get(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return;
  }
  DWORD flags = 0;
  state.persistentAcls = !GetVolumeInformationByHandleW(state.directory.get(), nullptr, 0, nullptr,
                                                        nullptr, &flags, nullptr, 0) ||
                         (flags & FILE_PERSISTENT_ACLS) != 0;
  state.ready = takeLock(state);
}

Destination::~Destination() {
  State& state = *state_;
  if (state.lock) {
    // The lock file's removal is no change of the run's either.
    NodeStamp now;
    const bool stamped = readStamp(state.directory.get(), now);
    state.lock.reset();
    if (stamped) applyStamp(state.directory.get(), now);
  }
  state.directory.reset();
  for (auto made = state.made.rbegin(); made != state.made.rend(); ++made) {
    if (!RemoveDirectoryW(made->c_str())) break;
  }
}

bool Destination::ready() const { return state_->ready; }

const NodeStamp& Destination::stampBefore() const { return state_->before; }

bool Destination::restoreStamp(const NodeStamp& stamp) {
  return applyStamp(state_->directory.get(), stamp);
}

std::vector<std::unique_ptr<StagingArea>> Destination::abandoned() {
  std::vector<std::unique_ptr<StagingArea>> found;
  std::vector<DirectoryEntry> entries;
  std::vector<unsigned char> user;
  if (!state_->ready || !listDirectory(state_->directory.get(), entries) || !currentUser(user)) {
    return found;
  }
  for (const DirectoryEntry& entry : entries) {
    if (entry.name.compare(0, std::size(kStagingPrefix) - 1, kStagingPrefix) != 0 ||
        (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      continue;
    }
    // A live run holds its staging directory without delete sharing, so it
    // does not open here; one another account made is never acted on.
    UniqueHandle directory =
        openHeldDirectory(state_->path + L"\\" + entry.name, kStagingAccess);
    if (!directory || !ownedBy(directory.get(), sidOf(user))) continue;
    auto staging = openStaging(state_, entry.name, std::move(directory), true);
    if (staging) found.push_back(std::move(staging));
  }
  return found;
}

std::unique_ptr<StagingArea> Destination::makeStaging() {
  std::vector<unsigned char> user;
  if (!state_->ready || !currentUser(user)) return nullptr;
  const LocalMemory security = privateSecurity(sidOf(user));
  if (!security) return nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::wstring name = freshName();
    if (name.empty()) return nullptr;
    const std::wstring path = state_->path + L"\\" + name;
    if (!CreateDirectoryW(path.c_str(), &attributes)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return nullptr;
    }
    UniqueHandle directory = openHeldDirectory(path, kStagingAccess);
    // Checked as opened: the directory made a moment ago, not one renamed
    // into its place.
    if (!directory || !ownedBy(directory.get(), sidOf(user))) return nullptr;
    setAttributes(directory.get(), FILE_ATTRIBUTE_HIDDEN);
    std::unique_ptr<StagingArea> staging;
    if (CreateDirectoryW((path + L"\\" + kStagedName).c_str(), nullptr) &&
        CreateDirectoryW((path + L"\\" + kAsideName).c_str(), nullptr)) {
      staging = openStaging(state_, name, std::move(directory), false);
    }
    if (!staging) {
      std::vector<LeftBehind> left;
      directory.reset();
      removeNode(path, left);
    }
    return staging;
  }
  return nullptr;
}

StagingArea::StagingArea(std::unique_ptr<StagingState> state) : state_(std::move(state)) {}

StagingArea::~StagingArea() = default;

const std::wstring& StagingArea::path() const { return state_->libraryPath; }

// The library is handed the staged tree's full name: the held components
// keep it leading there, and the current directory stays as it is.
bool StagingArea::enter() { return true; }

void StagingArea::leave() {}

std::string archiveNameFromStaging(const std::string& name) { return name; }

const std::wstring& StagingArea::name() const { return state_->name; }

bool StagingArea::readJournal(std::string& records) const {
  records.clear();
  if (!state_->journal) return false;
  char buffer[65536];
  for (ULONGLONG offset = 0;;) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(state_->journal.get(), buffer, sizeof buffer, &got, &at)) {
      return GetLastError() == ERROR_HANDLE_EOF;
    }
    if (got == 0) return true;
    records.append(buffer, got);
    offset += got;
  }
}

bool StagingArea::remove(std::vector<LeftBehind>& left) {
  for (TreeRoot& tree : state_->trees) {
    tree.forget();
    tree.root.reset();
  }
  const std::size_t before = left.size();
  // The trees first, the journal last: a run killed on the way leaves a
  // journal that still says what the trees were for. While a set-aside file
  // in use stays, so does the journal, which tells the next run that only
  // the clean-up is left.
  bool removed = true;
  for (const wchar_t* tree : {kStagedName, kAsideName}) {
    if (!removeNode(state_->path + L"\\" + tree, left)) removed = false;
  }
  if (state_->journal) removed = removed && markDeleted(state_->journal.get(), 0);
  state_->journal.reset();
  removed = removed && markDeleted(state_->directory.get(), 0);
  state_->directory.reset();
  if (!removed && left.size() == before) left.push_back({displayName(state_->path), false});
  return removed;
}

}  // namespace bu::platform
