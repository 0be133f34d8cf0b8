#include "modules/archive_listing.h"

#include <set>

#include "config/package_path.h"
#include "modules/archive_end.h"
#include "platform/text.h"
// Last: it brings in the library's header.
#include "modules/unrar_archive.h"

namespace bu {
namespace {

// The library's redirection types of a hard link and of a file reference (a
// copy of an earlier entry's data).
constexpr unsigned kHardLink = 4;
constexpr unsigned kFileCopy = 5;

// An entry's name as another entry's reference names it: either separator.
std::wstring referenceForm(std::wstring name) {
  for (wchar_t& c : name) {
    if (c == L'\\') c = L'/';
  }
  return name;
}

}  // namespace

ArchiveListing listArchive(const platform::CodeModule& library, const std::string& archiveName,
                           bool test) {
  ArchiveListing listing;
  const auto open = platform::symbolAs<OpenArchiveEx>(library, "RAROpenArchiveEx");
  const auto close = platform::symbolAs<CloseArchive>(library, "RARCloseArchive");
  const auto processFile = platform::symbolAs<ProcessFile>(library, "RARProcessFile");
  const auto readHeader = platform::symbolAs<ReadHeaderEx>(library, "RARReadHeaderEx");
  if (open == nullptr || close == nullptr || processFile == nullptr || readHeader == nullptr ||
      !isFileOfPackage(platform::ansiToWide(archiveName))) {
    return listing;
  }
  // The test pass needs the archive opened for extraction; it writes nothing.
  OpenedArchive archive(open, close, archiveName, test ? RAR_OM_EXTRACT : RAR_OM_LIST);
  listing.opened = archive.opened();
  if (!listing.opened) return listing;
  listing.volume = archive.volume();
  std::set<std::wstring> earlier;
  HeaderWalk walk(readHeader, archive.handle());
  for (;;) {
    const int read = walk.next();
    if (read == ERAR_END_ARCHIVE) {
      listing.complete = archiveIsComplete(archiveName);
      break;
    }
    if (read != ERAR_SUCCESS) {
      listing.code = read;
      break;
    }
    const std::wstring& name = walk.name();
    const std::wstring shown = name.empty() ? L"(no name)" : name;
    if (listing.refusedEntry.empty() && !walk.accepted()) listing.refusedEntry = shown;
    if (listing.linkJudgedAtRunTime.empty() && walk.targetInData()) {
      listing.linkJudgedAtRunTime = shown;
    }
    const unsigned type = walk.header().RedirType;
    if (listing.strayReference.empty() && (type == kHardLink || type == kFileCopy) &&
        earlier.count(referenceForm(walk.target())) == 0) {
      listing.strayReference = shown;
      listing.strayTarget = walk.target();
    }
    earlier.insert(referenceForm(name));
    if ((walk.header().Flags & RHDF_ENCRYPTED) != 0) listing.encrypted = true;
    if (!walk.directory()) {
      ++listing.files;
      listing.bytes += (static_cast<unsigned long long>(walk.header().UnpSizeHigh) << 32) |
                       walk.header().UnpSize;
    }
    // Encrypted data is not tested: no password is asked.
    const bool testData = test && !walk.directory() && !walk.link() &&
                          (walk.header().Flags & RHDF_ENCRYPTED) == 0;
    const int processed =
        processFile(archive.handle(), testData ? RAR_TEST : RAR_SKIP, nullptr, nullptr);
    if (processed != ERAR_SUCCESS && testData && listing.damagedEntry.empty()) {
      listing.damagedEntry = shown;
      listing.damagedCode = processed;
    }
    if (processed != ERAR_SUCCESS) {
      listing.code = processed;
      break;
    }
  }
  return listing;
}

}  // namespace bu
