#include "modules/staged_placement.h"

#include <cwctype>
#include <map>

// Last: on POSIX the library's header defines macros for Windows types.
#include "unrar_api.h"

namespace bu {
namespace {

// The first component of an entry's name: the top-level directory it lies
// in, or the entry itself. A top-level entry of any kind counts, so that a
// link or a directory holding special bits at the top keeps its directory
// from moving whole.
std::wstring topLevelName(const std::wstring& name) {
  return name.substr(0, name.find_first_of(L"/\\"));
}

// A name as a file system that ignores case compares it, roughly: two
// spellings that fold alike are never moved whole.
std::wstring folded(std::wstring name) {
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return name;
}

struct TopLevelDirectory {
  std::wstring spelling;
  bool movable = true;  // every entry plain, one spelling
  bool tried = false;
  bool moved = false;
};

}  // namespace

int placeEntries(platform::StagingArea& staging, const std::vector<StagedEntry>& entries,
                 bool complete) {
  std::map<std::wstring, TopLevelDirectory> directories;
  std::vector<TopLevelDirectory*> directoryOf(entries.size(), nullptr);
  for (std::size_t i = 0; complete && i < entries.size(); ++i) {
    const std::wstring top = topLevelName(entries[i].name);
    const auto [found, added] = directories.try_emplace(folded(top));
    TopLevelDirectory& directory = found->second;
    if (added) directory.spelling = top;
    if (directory.spelling != top || !(entries[i].plainFile || entries[i].plainDirectory)) {
      directory.movable = false;
    }
    directoryOf[i] = &directory;
  }

  for (std::size_t i = 0; i < entries.size(); ++i) {
    TopLevelDirectory* directory = directoryOf[i];
    if (directory != nullptr && directory->movable) {
      if (!directory->tried) {
        directory->tried = true;
        directory->moved = staging.placeNewDirectory(directory->spelling);
      }
      if (directory->moved) continue;
    }
    const StagedEntry& entry = entries[i];
    const platform::Placement placed = staging.place(entry.name, entry.plainFile);
    if (placed == platform::Placement::Refused) return ERAR_ECREATE;
    // Any other entry found missing was placed already under another
    // spelling of its name (the same name twice, or in another case).
    if (placed == platform::Placement::Missing && entry.link) return ERAR_ECREATE;
  }
  return ERAR_SUCCESS;
}

}  // namespace bu
