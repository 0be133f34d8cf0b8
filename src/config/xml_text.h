// The text of an XML file exactly as TinyXML's TiXmlDocument::LoadFile hands
// it to its parser, for the configuration's own parse (document_parser.h).
#pragma once

#include <cstdio>
#include <memory>

namespace bu {

// Bytes after the text's terminating NUL that are NUL as well. TinyXML's
// UTF-8 reader steps over a multi-byte sequence by its lead byte's length
// without looking for the terminator inside it, so a text ending in a lead
// byte makes it read up to three bytes past the terminator; here those bytes
// exist and end the text.
constexpr std::size_t kXmlTextPadding = 3;

// Reads `file` from its start as LoadFile(FILE*) does: as many bytes as the
// end position says, into a buffer of `size` bytes and the padding. Null
// where LoadFile fails before parsing: an empty file, or one that cannot be
// read to that length. Throws std::bad_alloc when the buffer cannot be had.
std::unique_ptr<char[]> readXmlBytes(std::FILE* file, std::size_t& size);

// Turns the bytes readXmlBytes read into the text LoadFile parses: each
// CR LF and lone CR turned into LF up to the first NUL, the rest of the
// buffer left as read.
void normalizeXmlLineBreaks(char* text);

// Both of the above.
std::unique_ptr<char[]> readXmlText(std::FILE* file);

}  // namespace bu
