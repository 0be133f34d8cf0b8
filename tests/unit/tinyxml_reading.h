// What the nesting guard and TinyXML itself make of a configuration file's
// bytes, for the tests that compare the two.
#pragma once

#include <cstddef>
#include <string>

class TiXmlNode;

namespace bu::test {

// The depth of the element tree below `node` (a document: its root counts 1).
std::size_t treeDepth(const TiXmlNode& node);

// A document printed by TinyXML, the whole tree in one text.
std::string printed(const TiXmlNode& node);

struct Depths {
  std::size_t measured;  // the guard's measure of the text
  std::size_t built;     // the tree TinyXML builds from the same text
};

// The file of `bytes` read as the loader reads it, then measured by the guard
// (without its limit) and parsed by TinyXML. {0, 0} when it reads no text.
Depths depthsOf(const std::string& bytes);

// The bytes as C++ source would write them, to show a failing input.
std::string escaped(const std::string& bytes);

}  // namespace bu::test
