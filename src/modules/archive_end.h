// Whether an archive file holds its whole self, up to its end-of-archive
// record.
//
// The UnRAR library answers "end of archive" whenever the file ends at a
// header boundary, also when it was cut there (an interrupted download): the
// entries after the cut are then silently missing. So once the library has
// reported the end, the file's block headers are walked here, from the
// signature on, skipping every block's data.
#pragma once

#include <string>

namespace bu {

// RAR 5: true when the walk reaches an end-of-archive block. RAR 1.5-4, where
// that block is optional: true when it reaches one, or when the last block
// ends exactly at the end of the file. False for a file cut anywhere else, a
// header that does not parse, or a file that cannot be read. In a set of
// volumes every volume from `archiveName` on is walked, each found by the
// name the library gives the next one, until the record of the last.
bool archiveIsComplete(const std::string& archiveName);

// The name of the volume after `name`, as the UnRAR library derives it: with
// new numbering (every RAR 5 set) the digits before the extension count up
// ("x.part09.rar" to "x.part10.rar"); otherwise the extension does ("x.rar",
// "x.r00" ... "x.r99", "x.s00"). A self-extracting first volume's followers
// are .rar volumes. Empty when the name has no extension to count in.
std::string nextVolumeName(std::string name, bool newNumbering);

}  // namespace bu
