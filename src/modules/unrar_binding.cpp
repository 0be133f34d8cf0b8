#include "modules/unrar_binding.h"

#include <utility>

#include "config/result_codes.h"
#include "log/write_log.h"
#include "modules/unrar_binding_passes.h"
#include "platform/file_digest.h"
#include "platform/text.h"
#include "trust/publisher_signature.h"

namespace bu {

const wchar_t kUnrarFileName[] = L"unrar.dll";
namespace {

// The package's library, by the same name on every port.

const char kNotSigned[] = "UNRAR FAILURE: UNRAR DLL is not Tarvenix Signed.";
const char kNotLoaded[] = "UNRAR FAILURE: UNRAR DLL could not be loaded";
const char kLoaded[] = "UNRAR LOAD SUCCESS: Successfully loaded the UNRAR DLL.";
const char kOpenFailed[] = "UNRAR FAILURE: Failed while opening the RAR file %s";
const char kVolumeNotCovered[] =
    "PAYLOAD CHECK FAILED: %s is one volume of a multi-volume archive; the package manifest "
    "covers single archives only.";
const char kOpened[] = "UNRAR OPEN SUCCESS: Success opening RAR file %s";
const char kExtractionFailed[] = "UNRAR FAILURE: Failed while unraring the RAR file %s to %s";
const char kExtracted[] = "UNRAR EXTRACT SUCCESS: Succesfully extracted %s to %s";

}  // namespace

int loadUnrar(UnrarBinding& binding) {
  // One open file is both checked and loaded: a file swapped in between
  // the two cannot run, nor can a namesake the module search would prefer.
  platform::PinnedFile file = platform::PinnedFile::open(kUnrarFileName);
  if (!verifyPublisherSignature(file)) {
    WriteLog("%s", kNotSigned);
    return kResultUnrarNotSigned;
  }
  // It needs nothing but the system's libraries: none of its dependencies
  // may come from the package, where anyone may have added one.
  platform::CodeModule library =
      platform::CodeModule::load(file, platform::ModuleDependencies::SystemOnly);
  if (!library) {
    WriteLog("%s", kNotLoaded);
    return kResultUnrarLoadFailed;
  }
  binding.unrarFile = std::move(file);
  binding.unrarModule = std::move(library);
  WriteLog("%s", kLoaded);
  return kResultSuccess;
}

void logArchiveNotOpened(const std::string& archive) { WriteLog(kOpenFailed, archive.c_str()); }

int extractArchive(UnrarBinding& binding, const std::string& archive,
                   const std::wstring& destination, const platform::PinnedFile* payload) {
  // The library opens the archive by its 8-bit name as the configuration
  // gives it (no round trip through wide text, which the locale may not
  // read back), or by the name of the checked bytes.
  const bool pinned = payload != nullptr && payload->isOpen();
  const std::string opened = pinned ? platform::pinnedBytesName(*payload, archive) : archive;
  binding.archivePath = platform::ansiToWide(archive);
  bool volume = false;
  if (!probeArchive(binding.unrarModule, opened, !pinned, &volume)) {
    logArchiveNotOpened(archive);
    return kResultArchiveOpenFailed;
  }
  // The library would read the later volumes by their names, bytes the
  // manifest never covered: such an archive is not opened.
  if (pinned && volume) {
    WriteLog(kVolumeNotCovered, archive.c_str());
    logArchiveNotOpened(archive);
    return kResultArchiveOpenFailed;
  }
  WriteLog(kOpened, archive.c_str());

  // The destination stays wide all the way into the library; only the log
  // takes its 8-bit form.
  binding.destinationPath = destination;
  const std::string destinationForLog = platform::wideToAnsi(destination);
  const int code =
      extractEntries(binding.unrarModule, opened, binding.destinationPath, destinationForLog);
  if (code != kResultSuccess) {
    WriteLog(kExtractionFailed, archive.c_str(), destinationForLog.c_str());
    return code;
  }
  WriteLog(kExtracted, archive.c_str(), destinationForLog.c_str());
  return kResultSuccess;
}

void releaseUnrar(UnrarBinding& binding) {
  binding.unrarModule.reset();
  binding.unrarFile = platform::PinnedFile();
  binding.destinationPath.clear();
  binding.archivePath.clear();
}

}  // namespace bu
