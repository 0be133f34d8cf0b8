// Parses and frees, with the programs' own TinyXML, a document whose elements
// nest as deep as asked -- by default kHeadroom times the configuration
// loader's limit -- on the main thread, whose stack is as large as the
// programs' own (the linker's default reserve). Prints "survived <depth>" and
// exits 0; a stack overflow ends it instead. Used to measure the depth each
// program bears, and as a test that the loader's limit stays well inside it.
#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/document_parser.h"

namespace {

constexpr unsigned long kHeadroom = 8;

}  // namespace

int main(int argc, char** argv) {
  const unsigned long depth =
      argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kHeadroom * bu::kMaxElementNesting;
  std::string text;
  text.reserve(depth * 7);
  for (unsigned long i = 0; i < depth; ++i) text += "<e>";
  for (unsigned long i = 0; i < depth; ++i) text += "</e>";
  {
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error()) {
      std::printf("not parsed: %s\n", document.ErrorDesc());
      return 1;
    }
  }
  std::printf("survived %lu\n", depth);
  return 0;
}
