// The UnRAR library's archive as both passes over it see it (the package
// check's listing in archive_listing.cpp, the extraction in
// unrar_binding_passes.cpp): the entry points they call, an opened archive,
// and one walk over its headers that judges each entry by the extraction's
// rules. Only for those two files: it brings in the library's header.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "modules/archive_entry_name.h"
// Last: on POSIX the library's header defines macros for Windows types.
#include "unrar_api.h"

namespace bu {

// Room for a link target, in characters: more than the library's longest
// name (2048), so that a target is never cut short without notice.
constexpr unsigned kLinkTargetCapacity = 4096;

// Function types as the library's header declares them, calling convention
// included (stdcall on 32-bit Windows).
using OpenArchiveEx = decltype(&RAROpenArchiveEx);
using CloseArchive = decltype(&RARCloseArchive);
using ReadHeaderEx = decltype(&RARReadHeaderEx);
using ProcessFile = decltype(&RARProcessFile);
using ProcessFileW = decltype(&RARProcessFileW);
using ArchiveHandle = decltype(RAROpenArchiveEx(nullptr));

// An archive the library has opened, closed when the object dies.
class OpenedArchive {
 public:
  OpenedArchive(OpenArchiveEx open, CloseArchive close, std::string name, unsigned mode)
      : close_(close), name_(std::move(name)) {
    RAROpenArchiveDataEx data;
    std::memset(&data, 0, sizeof data);
    data.ArcName = name_.data();
    data.OpenMode = mode;
    handle_ = open(&data);
    opened_ = handle_ != nullptr && data.OpenResult == 0;
    volume_ = opened_ && (data.Flags & ROADF_VOLUME) != 0;
  }
  ~OpenedArchive() {
    if (handle_ != nullptr) close_(handle_);
  }
  OpenedArchive(const OpenedArchive&) = delete;
  OpenedArchive& operator=(const OpenedArchive&) = delete;

  bool opened() const { return opened_; }
  // One volume of a multi-volume archive: the library reads the next ones
  // by their names.
  bool volume() const { return volume_; }
  ArchiveHandle handle() const { return handle_; }

 private:
  CloseArchive close_;
  std::string name_;  // the library is handed a pointer into it
  ArchiveHandle handle_ = nullptr;
  bool opened_ = false;
  bool volume_ = false;
};

// The library's redirection type of a symbolic link made from a Unix one.
constexpr unsigned kUnixSymlink = 1;

// The header record of the entry last read, and what the rules make of it.
class HeaderWalk {
 public:
  HeaderWalk(ReadHeaderEx readHeader, ArchiveHandle archive);

  // Reads the next header: the library's code (ERAR_END_ARCHIVE at the end).
  int next();

  const RARHeaderDataEx& header() const { return header_; }
  // The entry's name as the record holds it.
  const std::wstring& name() const { return name_; }
  bool directory() const { return (header_.Flags & RHDF_DIRECTORY) != 0; }
  bool link() const { return header_.RedirType != kNotALink; }
  // The link target the record holds (empty for a RAR 4 symbolic link,
  // whose target is in its data).
  const std::wstring& target() const { return target_; }
  // A RAR 4 symbolic link: its target is only known once it is made.
  bool targetInData() const { return header_.RedirType == kUnixSymlink && target_.empty(); }
  // Whether the extraction may extract the entry. A name or target the record
  // could not hold in full cannot be judged, so it is refused; a RAR 4
  // symbolic link is judged by its name here, by its target once made.
  bool accepted() const;

 private:
  ReadHeaderEx readHeader_;
  ArchiveHandle archive_;
  std::vector<wchar_t> linkTarget_;
  // The library fills every field of the record for each header it reads
  // (the names padded, the link target terminated), so the record is cleared
  // once: clearing its 30 KB per entry showed in archives of many small files.
  RARHeaderDataEx header_;
  std::wstring name_;
  std::wstring target_;
  bool nameComplete_ = false;
  bool targetComplete_ = false;
};

}  // namespace bu
