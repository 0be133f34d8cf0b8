// The string table of a resource module on POSIX, where buResource.dll is a
// data file of ours rather than a PE image. Little-endian throughout:
//
//   magic    8 bytes  "BUSTRTB1"
//   count    u16      the number of texts
//   count times:
//     id     u16      the text's id (101 to 111 for the program's boxes)
//     length u16      the text's length in UTF-16 code units
//     text   length times u16, UTF-16 (no terminator)
//
// The texts end the content: nothing else may follow them but a signed
// module's appended signature (see appended_signature_posix.h). Each id
// appears at most once.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bu::platform {

using StringTable = std::map<unsigned, std::wstring>;

// The texts of a module's content, or nothing when the content is not a
// well-formed table. Unpaired surrogates become U+FFFD.
std::optional<StringTable> parseStringModule(const unsigned char* content, std::size_t size);

// The content of a module holding `texts` in the order given; empty when an
// id, a length or the count does not fit in 16 bits.
std::vector<unsigned char> encodeStringModule(
    const std::vector<std::pair<unsigned, std::u16string>>& texts);

}  // namespace bu::platform
