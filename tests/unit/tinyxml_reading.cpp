#include "tinyxml_reading.h"

#include <tinyxml.h>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "config/nesting_limit.h"
#include "config/xml_text.h"
#include "platform/temp_file.h"

namespace bu::test {

std::size_t treeDepth(const TiXmlNode& node) {
  std::size_t deepest = 0;
  std::vector<std::pair<const TiXmlNode*, std::size_t>> pending{{&node, 0}};
  while (!pending.empty()) {
    const auto [parent, depth] = pending.back();
    pending.pop_back();
    for (const TiXmlNode* child = parent->FirstChild(); child; child = child->NextSibling()) {
      if (child->ToElement() == nullptr) continue;
      if (depth + 1 > deepest) deepest = depth + 1;
      pending.emplace_back(child, depth + 1);
    }
  }
  return deepest;
}

std::string printed(const TiXmlNode& node) {
  TiXmlPrinter printer;
  node.Accept(&printer);
  return printer.Str();
}

Depths depthsOf(const std::string& bytes) {
  const platform::UniqueFile file(std::tmpfile());
  std::fwrite(bytes.data(), 1, bytes.size(), file.get());
  const std::unique_ptr<char[]> text = readXmlText(file.get());
  if (!text) return {0, 0};
  TiXmlDocument document;
  document.Parse(text.get(), nullptr, TIXML_DEFAULT_ENCODING);
  return {elementNesting(text.get(), static_cast<std::size_t>(-2)), treeDepth(document)};
}

std::string escaped(const std::string& bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u >= 0x20 && u < 0x7f) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x\"\"", u);
      out += hex;
    }
  }
  return out + "\"";
}

}  // namespace bu::test
