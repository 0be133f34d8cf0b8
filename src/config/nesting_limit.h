// A guard in front of the XML parser. TinyXML parses nested elements by
// recursion (TiXmlElement::Parse -> ReadValue -> Identify -> the child's
// Parse), several stack frames per level, and frees them by recursion too,
// so a file nested deeply enough ends the process with a stack overflow.
// The guard measures, without recursion, how deep TinyXML's parse of a text
// will nest before TinyXML sees it.
#pragma once

#include <cstddef>

namespace bu {

// Far beyond any configuration (its schema nests four levels), and well
// inside what each program's stack bears (tests/wine/nesting_probe): on the
// 2 MiB main-thread stack the linker reserves, TinyXML survives about 6,200
// levels in the 64-bit Windows program, the tightest, and 13,000 in the
// 32-bit one; the POSIX program about 37,000 on an 8 MiB stack.
constexpr std::size_t kMaxElementNesting = 256;

// The deepest element nesting that TinyXML's TiXmlDocument::Parse reaches on
// the NUL-terminated `text` with its default encoding detection: the depth of
// the element tree it builds, whether the parse succeeds or fails part-way.
// The measure stops at `stopAbove` + 1.
std::size_t elementNesting(const char* text, std::size_t stopAbove = kMaxElementNesting);

// True when TinyXML's parse of `text` nests at most kMaxElementNesting
// levels.
bool nestingWithinLimit(const char* text);

}  // namespace bu
