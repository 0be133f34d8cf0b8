// The package check's pass over an archive: every entry judged as the
// extraction judges it, through the package's own UnRAR library, without
// writing anything anywhere.
#pragma once

#include <string>

#include "platform/code_module.h"

namespace bu {

// What a listing pass found in an archive.
struct ArchiveListing {
  bool opened = false;
  int code = 0;               // the library's code that ended the walk early, else 0
  std::wstring refusedEntry;  // the first entry the extraction would refuse
  // The first RAR 4 symbolic link: its target is in its data, so it is
  // judged only when the extraction has made it.
  std::wstring linkJudgedAtRunTime;
  // The first hard link or file reference whose target is not an earlier
  // entry of the archive: the library has nothing to link or copy there.
  std::wstring strayReference;
  std::wstring strayTarget;
  // With the test pass: the first entry whose data the library finds
  // damaged (a CRC that does not match), and the library's code for it.
  std::wstring damagedEntry;
  int damagedCode = 0;
  bool encrypted = false;     // an entry whose data is encrypted
  bool complete = false;      // the walk reached the end and the end record is there
  bool volume = false;        // one volume of a multi-volume archive
  unsigned long long files = 0;
  unsigned long long bytes = 0;
};

// Walks the archive, judging every entry as the extraction does. Without
// `test` each entry's data is skipped (list mode); with it the library's test
// pass reads and checks each file's data, still writing nothing.
ArchiveListing listArchive(const platform::CodeModule& library, const std::string& archiveName,
                           bool test = false);

}  // namespace bu
