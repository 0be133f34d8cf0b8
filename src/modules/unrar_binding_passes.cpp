#include "modules/unrar_binding_passes.h"

#include <utility>
#include <vector>

#include "config/package_path.h"
#include "config/result_codes.h"
#include "log/write_log.h"
#include "modules/archive_end.h"
#include "modules/staged_placement.h"
#include "platform/text.h"
// Last: it brings in the library's header.
#include "modules/unrar_archive.h"

namespace bu {
namespace {

const char kProbeOpenFailed[] = "OPEN RAR ERROR: Failed to open RAR file";
const char kExtractOpenFailed[] = "UNRAR OPEN ERROR: Failed to open RAR file";
const char kExtractFailed[] =
    "UNRAR EXTRACT ERROR: Failed while extracting to destination %s. Unrar Error code reported : "
    "%d";

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
  HeaderWalk walk(readHeader, archive.handle());
  while (failure == ERAR_SUCCESS) {
    // Only the library's end of the archive ends the walk as a success: a
    // header it cannot read (damage, encryption, a missing volume) would
    // otherwise leave part of the archive behind unreported.
    const int read = walk.next();
    if (read == ERAR_END_ARCHIVE) {
      // The library also says so where a cut file ends between headers.
      if (!archiveIsComplete(archivePath)) failure = ERAR_BAD_DATA;
      break;
    }
    if (read != ERAR_SUCCESS) {
      failure = read;
      break;
    }
    // Refused entries end the extraction as an entry the library could not
    // create would.
    if (!walk.accepted()) {
      failure = ERAR_ECREATE;
      break;
    }
    failure = processFile(archive.handle(), RAR_EXTRACT, stagingArgument.data(), nullptr);
    if (failure == ERAR_SUCCESS && walk.link() && !madeLinkConfined(staging, walk.name())) {
      failure = ERAR_ECREATE;
    }
    if (failure == ERAR_SUCCESS) {
      staged.push_back({walk.name(), walk.link(), walk.directory(),
                        holdsSpecialBits(walk.header())});
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
