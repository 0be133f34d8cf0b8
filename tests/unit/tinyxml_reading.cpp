#include "tinyxml_reading.h"

#include <tinyxml.h>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "config/document_parser.h"
#include "config/xml_text.h"
#include "platform/temp_file.h"

namespace bu::test {
namespace {

void appendField(std::string& out, const std::string& field) {
  out += std::to_string(field.size()) + ":" + field + " ";
}

}  // namespace

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

std::string described(const TiXmlNode& node) {
  std::string out;
  std::vector<std::pair<const TiXmlNode*, std::size_t>> pending;
  for (const TiXmlNode* child = node.LastChild(); child; child = child->PreviousSibling()) {
    pending.emplace_back(child, 1);
  }
  while (!pending.empty()) {
    const auto [current, depth] = pending.back();
    pending.pop_back();
    out += std::to_string(depth) + " " + std::to_string(current->Type()) + " ";
    appendField(out, current->ValueStr());
    if (const TiXmlText* text = current->ToText()) out += text->CDATA() ? "cdata " : "";
    if (const TiXmlElement* element = current->ToElement()) {
      for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
        appendField(out, a->NameTStr());
        appendField(out, a->ValueStr());
      }
    }
    if (const TiXmlDeclaration* declaration = current->ToDeclaration()) {
      appendField(out, declaration->Version());
      appendField(out, declaration->Encoding());
      appendField(out, declaration->Standalone());
    }
    out += "\n";
    for (const TiXmlNode* child = current->LastChild(); child; child = child->PreviousSibling()) {
      pending.emplace_back(child, depth + 1);
    }
  }
  return out;
}

Readings readBoth(const std::string& bytes) {
  const platform::UniqueFile file(std::tmpfile());
  std::fwrite(bytes.data(), 1, bytes.size(), file.get());
  const std::unique_ptr<char[]> text = readXmlText(file.get());
  if (!text) return {0, 0, true};
  TiXmlDocument ours;
  const ParseOutcome outcome = parseDocument(text.get(), ours, static_cast<std::size_t>(-2));
  TiXmlDocument theirs;
  theirs.Parse(text.get(), nullptr, TIXML_DEFAULT_ENCODING);
  const bool same = outcome.parsed == !theirs.Error() && ours.ErrorId() == theirs.ErrorId() &&
                    described(ours) == described(theirs);
  return {outcome.deepest, treeDepth(theirs), same};
}

}  // namespace bu::test
