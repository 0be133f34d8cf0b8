// What our parse and TinyXML's own make of a configuration file's bytes, for
// the tests that compare the two.
#pragma once

#include <cstddef>
#include <string>

class TiXmlNode;

namespace bu::test {

// The depth of the element tree below `node` (a document: its root counts 1).
std::size_t treeDepth(const TiXmlNode& node);

// Every node below `node` in document order, with its depth, type and exact
// bytes (value, CDATA flag, attributes, declaration fields): two trees are
// equal when their descriptions are.
std::string described(const TiXmlNode& node);

struct Readings {
  std::size_t measured;  // the deepest nesting our parse reached, without a limit
  std::size_t built;     // the depth of the tree TinyXML's Parse builds
  bool sameDocument;     // our tree, success and error id are TinyXML's
};

// The file of `bytes` read as the loader reads it, then parsed by our parse
// and by TinyXML's TiXmlDocument::Parse. {0, 0, true} when it reads no text.
Readings readBoth(const std::string& bytes);

}  // namespace bu::test
