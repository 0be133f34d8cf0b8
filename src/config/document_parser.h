// The parse of buConfig.xml's text. TinyXML's own TiXmlDocument::Parse reads
// nested elements by recursion (TiXmlElement::Parse -> ReadValue -> Identify
// -> the child's Parse), several stack frames per level, so a file nested
// deeply enough would end the process with a stack overflow; and it frees a
// tree by recursion too. This parse builds the same document without
// recursion and refuses to nest deeper than a limit, so the tree it leaves is
// never deeper than that either.
#pragma once

#include <cstddef>

class TiXmlDocument;

namespace bu {

// Far beyond any configuration (its schema nests four levels), and well
// inside what each program's stack bears when TinyXML's recursion frees a
// tree or parses one (tests/wine/nesting_probe): on the 2 MiB main-thread
// stack the linker reserves, TinyXML's parse survives about 6,200 levels in
// the 64-bit Windows program, the tightest, and 13,000 in the 32-bit one; the
// POSIX program about 37,000 on an 8 MiB stack.
constexpr std::size_t kMaxElementNesting = 256;

struct ParseOutcome {
  bool parsed;          // no error: what TiXmlDocument::Parse reports as !Error()
  std::size_t deepest;  // the deepest element nesting reached, at most maxNesting + 1
};

// Parses the NUL-terminated `text` into the empty `document` as
// TiXmlDocument::Parse(text, nullptr, TIXML_DEFAULT_ENCODING) does: the same
// nodes with the same values, complete on success, the same part of them and
// the same error on failure. Only rows and columns stay unknown (of nodes and
// of the error), and the document does not note a byte-order mark for saving.
// Nesting deeper than `maxNesting` stops the parse there with an error.
ParseOutcome parseDocument(const char* text, TiXmlDocument& document,
                           std::size_t maxNesting = kMaxElementNesting);

}  // namespace bu
