#include "platform/staging_area.h"

#include <windows.h>

#include <string>

namespace bu::platform {
namespace {

constexpr wchar_t kStagingPrefix[] = L"\\.bu-extract-";
constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool isDirectory(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Makes `path` and its missing parents, as the library would have made the
// destination. The destination is trusted as named.
bool makeDirectories(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != kNoAttributes) return isDirectory(attributes);
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator != std::wstring::npos && separator > 0 && path[separator - 1] != L':' &&
      !makeDirectories(path.substr(0, separator))) {
    return false;
  }
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// A real directory at `path` (made when missing), never a reparse point.
bool realDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == kNoAttributes) {
    if (!CreateDirectoryW(path.c_str(), nullptr)) return false;
    attributes = GetFileAttributesW(path.c_str());
  }
  return attributes != kNoAttributes && isDirectory(attributes) && !isLink(attributes);
}

// Removes `path` and all below it; a reparse point is removed itself, never
// what it leads to.
void removeTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == kNoAttributes) return;
  if (isDirectory(attributes) && !isLink(attributes)) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") removeTree(path + L"\\" + name);
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (isDirectory(attributes)) {
    RemoveDirectoryW(path.c_str());
  } else {
    DeleteFileW(path.c_str());
  }
}

}  // namespace

struct StagingArea::State {
  bool ready = false;
  std::wstring destination;
  std::wstring path;
};

StagingArea::StagingArea(const std::wstring& destination) : state_(std::make_unique<State>()) {
  std::wstring base = destination;
  while (base.size() > 3 && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
  if (base.empty() || !makeDirectories(base)) return;
  state_->destination = base;
  for (unsigned attempt = 0; attempt < 100 && !state_->ready; ++attempt) {
    const std::wstring candidate = base + kStagingPrefix +
                                   std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(GetTickCount() + attempt);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      SetFileAttributesW(candidate.c_str(), FILE_ATTRIBUTE_HIDDEN);
      state_->path = candidate;
      state_->ready = true;
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      return;
    }
  }
}

StagingArea::~StagingArea() {
  if (!state_->path.empty()) removeTree(state_->path);
}

bool StagingArea::ready() const { return state_->ready; }

const std::wstring& StagingArea::path() const { return state_->path; }

// The library takes wide names on Windows and makes links from the target
// its header shows, which is judged before the entry is extracted.
bool StagingArea::madeLink(const std::wstring&, std::wstring&) const { return false; }

Placement StagingArea::place(const std::wstring& entry, bool) {
  if (!state_->ready) return Placement::Refused;
  std::wstring to = state_->destination;
  std::size_t begin = 0;
  for (std::size_t end; (end = entry.find_first_of(L"\\/", begin)) != std::wstring::npos;
       begin = end + 1) {
    to += L"\\" + entry.substr(begin, end - begin);
    if (!realDirectory(to)) return Placement::Refused;
  }
  to += L"\\" + entry.substr(begin);
  const std::wstring from = state_->path + L"\\" + entry;

  const DWORD staged = GetFileAttributesW(from.c_str());
  if (staged == kNoAttributes) return Placement::Missing;
  if (isDirectory(staged) && !isLink(staged)) {
    if (!realDirectory(to)) return Placement::Refused;
    SetFileAttributesW(to.c_str(), staged & ~FILE_ATTRIBUTE_HIDDEN);
    return Placement::Placed;
  }
  // A directory in the way stays; a file or a link at the name is replaced
  // itself.
  const DWORD existing = GetFileAttributesW(to.c_str());
  if (existing != kNoAttributes && isDirectory(existing) && !isLink(existing)) {
    return Placement::Refused;
  }
  if (existing != kNoAttributes && (existing & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(to.c_str(), existing & ~FILE_ATTRIBUTE_READONLY);
  }
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? Placement::Placed
                                                                         : Placement::Refused;
}

bool StagingArea::placeNewDirectory(const std::wstring& name) {
  if (!state_->ready || name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) {
    return false;
  }
  const std::wstring from = state_->path + L"\\" + name;
  const DWORD staged = GetFileAttributesW(from.c_str());
  if (staged == kNoAttributes || !isDirectory(staged) || isLink(staged)) return false;
  // Without MOVEFILE_REPLACE_EXISTING the move fails when anything lies at
  // the name.
  return MoveFileExW(from.c_str(), (state_->destination + L"\\" + name).c_str(), 0) != 0;
}

}  // namespace bu::platform
