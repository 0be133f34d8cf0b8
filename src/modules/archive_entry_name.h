// Whether an archive entry stays inside the directory it is extracted to.
//
// The UnRAR library writes each entry to <destination>/<entry name>; a name
// or a link target that climbs out of the destination would let an archive
// from a download write anywhere the program may write. The entry is judged
// from what its header says, before the library writes anything.
#pragma once

#include <string>

namespace bu {

// Redirection type of an entry that is no link (the library's FSREDIR_NONE).
constexpr unsigned kNotALink = 0;

// True when the entry may be extracted: its name, and for a link (a
// redirection type other than kNotALink) also its target, is a confined
// path. A path is confined when it is not empty and
//   - does not begin with a separator (absolute, or a UNC name),
//   - holds no ':' (a drive, or an alternate data stream on Windows),
//   - holds no unpaired surrogate, and is the very text the library will
//     use (on POSIX it converts it to the locale's narrow form, which ends
//     early at a character it cannot convert: "..<U+D800>" would become ".."),
//   - has no component that is empty or made only of dots and blanks: ".",
//     "..", and also "..." or ".. ", which Windows reads as ".." once it has
//     dropped their trailing dots and blanks;
// '/' and '\' both count as separators, on every port.
//
// A link target may therefore only lead down from where the link stands.
// A target that climbs and still ends inside is refused as well: two such
// links can be chained (a link to ".." followed by an entry below it) into a
// path that leaves the destination, which no look at one entry can see.
bool isEntryConfined(const std::wstring& name, unsigned redirectionType,
                     const std::wstring& linkTarget);

}  // namespace bu
