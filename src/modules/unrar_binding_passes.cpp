#include "modules/unrar_binding_passes.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "app/result_codes.h"
#include "log/write_log.h"
#include "modules/archive_end.h"
#include "modules/archive_entry_name.h"
#include "modules/staged_placement.h"
#include "platform/text.h"
// Last: on POSIX the library's header defines macros for Windows types.
#include "unrar_api.h"

namespace bu {
namespace {

const char kProbeOpenFailed[] = "OPEN RAR ERROR: Failed to open RAR file";
const char kExtractOpenFailed[] = "UNRAR OPEN ERROR: Failed to open RAR file";
const char kExtractFailed[] =
    "UNRAR EXTRACT ERROR: Failed while extracting to destination %s. Unrar Error code reported : "
    "%d";

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

// The characters of a fixed-size text field up to its terminator; `complete`
// is false when the field holds no terminator, so the text may be cut short.
std::wstring fieldText(const wchar_t* field, std::size_t capacity, bool& complete) {
  const wchar_t* end = std::find(field, field + capacity, L'\0');
  complete = end != field + capacity && static_cast<std::size_t>(end - field) + 1 < capacity;
  return std::wstring(field, end);
}

// The library's redirection type of a symbolic link made from a Unix one.
constexpr unsigned kUnixSymlink = 1;

// Whether the entry whose header was just read may be extracted. A name or
// target the record could not hold in full cannot be judged, so it is
// refused. A RAR 4 symbolic link keeps its target in the entry's data, so
// its header shows none: such a link is judged once the library has made it.
bool entryAccepted(const RARHeaderDataEx& header, const std::wstring& name, bool nameComplete,
                   const wchar_t* linkTarget) {
  bool targetComplete = true;
  std::wstring target;
  if (header.RedirType != kNotALink) {
    target = fieldText(linkTarget, kLinkTargetCapacity, targetComplete);
    if (header.RedirType == kUnixSymlink && target.empty()) return isEntryConfined(name, kNotALink, L"");
  }
  return nameComplete && targetComplete && isEntryConfined(name, header.RedirType, target);
}

// Whether the link the library made in the staging directory for `name`,
// if any, leads only down from where it stands, judged on its target as it
// lies on disk.
bool madeLinkConfined(const platform::StagingArea& staging, const std::wstring& name) {
  std::wstring target;
  return !staging.madeLink(name, target) || isEntryConfined(name, kUnixSymlink, target);
}

// The header's host system for archives made on Unix, whose attributes are
// a file mode the library applies.
constexpr unsigned kUnixHost = 3;
constexpr unsigned kSpecialModeBits = 07000;

bool holdsSpecialBits(const RARHeaderDataEx& header) {
  return header.HostOS == kUnixHost && (header.FileAttr & kSpecialModeBits) != 0;
}

// The library's pass runs inside the staging directory, and leaves it on
// every path out.
struct InsideStaging {
  explicit InsideStaging(platform::StagingArea& area) : staging(area), entered(area.enter()) {}
  ~InsideStaging() { leave(); }
  InsideStaging(const InsideStaging&) = delete;
  InsideStaging& operator=(const InsideStaging&) = delete;
  void leave() {
    if (entered) staging.leave();
    entered = false;
  }
  platform::StagingArea& staging;
  bool entered;
};

void logExtractFailure(const std::string& destinationForLog, int code) {
  WriteLog(kExtractFailed, destinationForLog.c_str(), code);
}

}  // namespace

bool probeArchive(const platform::CodeModule& library, const std::string& archiveName,
                  bool packageName, bool* volume) {
  if (!library) return false;
  // The configuration names a file of the package: a name that leaves it
  // (a drive, a root, a share, "..", a link on the way) is never opened.
  if (packageName && !isFileOfPackage(platform::ansiToWide(archiveName))) {
    WriteLog("%s", kProbeOpenFailed);
    return false;
  }
  const auto open = platform::symbolAs<OpenArchiveEx>(library, "RAROpenArchiveEx");
  const auto close = platform::symbolAs<CloseArchive>(library, "RARCloseArchive");
  const auto processFile = platform::symbolAs<ProcessFile>(library, "RARProcessFile");
  const auto readHeader = platform::symbolAs<ReadHeaderEx>(library, "RARReadHeaderEx");
  if (open == nullptr || close == nullptr || processFile == nullptr || readHeader == nullptr) {
    WriteLog("%s", kProbeOpenFailed);
    return false;
  }

  OpenedArchive archive(open, close, archiveName, RAR_OM_LIST);
  if (!archive.opened()) {
    WriteLog("%s", kProbeOpenFailed);
    return false;
  }
  if (volume != nullptr) *volume = archive.volume();
  // Opening is the whole check: the extraction pass walks the headers and
  // judges every one, so a walk here would read the archive twice for nothing.
  return true;
}

ArchiveListing listArchive(const platform::CodeModule& library, const std::string& archiveName) {
  ArchiveListing listing;
  const auto open = platform::symbolAs<OpenArchiveEx>(library, "RAROpenArchiveEx");
  const auto close = platform::symbolAs<CloseArchive>(library, "RARCloseArchive");
  const auto processFile = platform::symbolAs<ProcessFile>(library, "RARProcessFile");
  const auto readHeader = platform::symbolAs<ReadHeaderEx>(library, "RARReadHeaderEx");
  if (open == nullptr || close == nullptr || processFile == nullptr || readHeader == nullptr ||
      !isFileOfPackage(platform::ansiToWide(archiveName))) {
    return listing;
  }
  OpenedArchive archive(open, close, archiveName, RAR_OM_LIST);
  listing.opened = archive.opened();
  if (!listing.opened) return listing;
  listing.volume = archive.volume();
  std::vector<wchar_t> linkTarget(kLinkTargetCapacity);
  RARHeaderDataEx header;
  for (;;) {
    std::memset(&header, 0, sizeof header);
    std::fill(linkTarget.begin(), linkTarget.end(), L'\0');
    header.RedirName = linkTarget.data();
    header.RedirNameSize = kLinkTargetCapacity;
    const int read = readHeader(archive.handle(), &header);
    if (read == ERAR_END_ARCHIVE) {
      listing.complete = archiveIsComplete(archiveName);
      break;
    }
    if (read != ERAR_SUCCESS) {
      listing.code = read;
      break;
    }
    bool nameComplete = false;
    const std::wstring name = fieldText(header.FileNameW, std::size(header.FileNameW), nameComplete);
    if (listing.refusedEntry.empty() && !entryAccepted(header, name, nameComplete, linkTarget.data())) {
      listing.refusedEntry = name.empty() ? L"(no name)" : name;
    }
    if ((header.Flags & RHDF_ENCRYPTED) != 0) listing.encrypted = true;
    if ((header.Flags & RHDF_DIRECTORY) == 0) {
      ++listing.files;
      listing.bytes += (static_cast<unsigned long long>(header.UnpSizeHigh) << 32) | header.UnpSize;
    }
    const int skipped = processFile(archive.handle(), RAR_SKIP, nullptr, nullptr);
    if (skipped != ERAR_SUCCESS) {
      listing.code = skipped;
      break;
    }
  }
  return listing;
}

int extractEntries(const platform::CodeModule& library, const std::string& archiveName,
                   const std::wstring& destination, const std::string& destinationForLog) {
  const auto open = platform::symbolAs<OpenArchiveEx>(library, "RAROpenArchiveEx");
  const auto close = platform::symbolAs<CloseArchive>(library, "RARCloseArchive");
  const auto readHeader = platform::symbolAs<ReadHeaderEx>(library, "RARReadHeaderEx");
  const auto processFile = platform::symbolAs<ProcessFileW>(library, "RARProcessFileW");
  if (open == nullptr || close == nullptr || readHeader == nullptr || processFile == nullptr) {
    WriteLog("%s", kExtractOpenFailed);
    return kResultArchiveOpenFailed;
  }

  // The library runs inside the staging directory: the archive is named so
  // that it (and a next volume) is found from there.
  const std::string archivePath = platform::archiveNameFromStaging(archiveName);
  OpenedArchive archive(open, close, archivePath, RAR_OM_EXTRACT);
  if (!archive.opened()) {
    WriteLog("%s", kExtractOpenFailed);
    return kResultArchiveOpenFailed;
  }
  // The library extracts into a private directory inside the destination;
  // what it made is placed, all or nothing, once it has extracted all.
  StagedExtraction extraction(destination, destinationForLog);
  int failure = extraction.begin();
  if (failure != ERAR_SUCCESS) {
    logExtractFailure(destinationForLog, failure);
    return kResultExtractionFailed;
  }
  platform::StagingArea& staging = extraction.staging();
  InsideStaging inside(staging);
  if (!inside.entered) failure = ERAR_ECREATE;
  // The library takes the directory as a modifiable text.
  std::wstring stagingArgument = staging.path();
  std::vector<StagedEntry> staged;
  std::vector<wchar_t> linkTarget(kLinkTargetCapacity);
  // The library fills every field of the record for each header it reads
  // (the names padded, the link target terminated), so the record is
  // cleared once: clearing its 30 KB per entry showed in archives of many
  // small files.
  RARHeaderDataEx header;
  std::memset(&header, 0, sizeof header);
  while (failure == ERAR_SUCCESS) {
    linkTarget.front() = L'\0';
    header.RedirName = linkTarget.data();
    header.RedirNameSize = kLinkTargetCapacity;

    // Only the library's end of the archive ends the walk as a success: a
    // header it cannot read (damage, encryption, a missing volume) would
    // otherwise leave part of the archive behind unreported.
    const int read = readHeader(archive.handle(), &header);
    if (read == ERAR_END_ARCHIVE) {
      // The library also says so where a cut file ends between headers.
      if (!archiveIsComplete(archivePath)) failure = ERAR_BAD_DATA;
      break;
    }
    if (read != ERAR_SUCCESS) {
      failure = read;
      break;
    }
    bool nameComplete = false;
    std::wstring name = fieldText(header.FileNameW, std::size(header.FileNameW), nameComplete);
    // Refused entries end the extraction as an entry the library could not
    // create would.
    if (!entryAccepted(header, name, nameComplete, linkTarget.data())) {
      failure = ERAR_ECREATE;
      break;
    }
    failure = processFile(archive.handle(), RAR_EXTRACT, stagingArgument.data(), nullptr);
    const bool link = header.RedirType != kNotALink;
    if (failure == ERAR_SUCCESS && link && !madeLinkConfined(staging, name)) failure = ERAR_ECREATE;
    if (failure == ERAR_SUCCESS) {
      staged.push_back({std::move(name), link, (header.Flags & RHDF_DIRECTORY) != 0,
                        holdsSpecialBits(header)});
    }
  }
  inside.leave();
  // Nothing reaches the destination unless the whole archive was extracted.
  const int placed = extraction.finish(staged, failure == ERAR_SUCCESS);
  if (failure == ERAR_SUCCESS) failure = placed;
  if (failure != ERAR_SUCCESS) {
    logExtractFailure(destinationForLog, failure);
    return kResultExtractionFailed;
  }
  return kResultSuccess;
}

}  // namespace bu
