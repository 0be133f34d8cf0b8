// A guard in front of the XML parser. TinyXML parses (and frees) nested
// elements by recursion, one stack frame per level, so a file nested deeply
// enough ends the process with a stack overflow. The guard measures the
// nesting of a file's elements without recursion before TinyXML sees it.
#pragma once

#include <cstddef>
#include <cstdio>

namespace bu {

// Far beyond any configuration (its schema nests four levels), far below
// what the parser's recursion can bear on a 1 MiB stack.
constexpr std::size_t kMaxElementNesting = 256;

// Counts element nesting in XML text fed in pieces: start tags open a level
// (unless they close themselves), end tags close one; comments, CDATA
// sections, processing instructions, declarations and quoted attribute
// values are skipped. It does not check well-formedness: it only has to
// never count less than the parser will nest.
class NestingScanner {
 public:
  void feed(const char* data, std::size_t size);
  std::size_t deepest() const { return deepest_; }

 private:
  enum class State { Text, Open, StartTag, Quoted, EndTag, Bang, Comment, CData, Other, Pi };
  void step(char c);

  State state_ = State::Text;
  std::size_t depth_ = 0;
  std::size_t deepest_ = 0;
  char quote_ = 0;
  char previous_ = 0;
  std::size_t bangLength_ = 0;  // characters seen after "<!"
  char bang_[7] = {};
  unsigned trail_ = 0;  // how much of a closing sequence ("-->", "]]>", "?>") was seen
};

// Reads `file` to its end and rewinds it. False when its elements nest deeper
// than kMaxElementNesting or it cannot be read.
bool nestingWithinLimit(std::FILE* file);

}  // namespace bu
