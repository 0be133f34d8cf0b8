#include "config/nesting_limit.h"

#include <tinyxml.h>

#include <string>
#include <vector>

namespace bu {
namespace {

// Repeats the recursive part of TinyXML's parser -- TiXmlDocument::Parse's
// loop, TiXmlElement::Parse and TiXmlElement::ReadValue -- as one loop over an
// explicit stack of open elements. Every step that reads text is TinyXML's
// own: its white-space, name and string helpers, and the Parse functions of
// its attribute, text, CDATA, comment, declaration and unknown nodes, called
// on objects reused from one construct to the next (with no document and no
// parsing data, which those functions allow). What ends a construct is
// therefore always what TinyXML itself says ends it. Only the choice of node
// made by TiXmlNode::Identify is restated, to spare an allocation per node.
//
// Derived from a TinyXML node for access to those helpers, which are
// protected; it is never part of a document.
class NestingMeasure final : public TiXmlElement {
 public:
  explicit NestingMeasure(std::size_t stopAbove) : TiXmlElement(""), stopAbove_(stopAbove) {}

  std::size_t measure(const char* p);

 private:
  enum class Kind { None, Declaration, Comment, CData, Unknown, Element };

  // An element whose content is being read: its name, in the text.
  struct Open {
    const char* name;
    std::size_t length;
  };

  static Kind identify(const char* p, TiXmlEncoding encoding);
  static TiXmlEncoding declaredEncoding(const char* name);
  const char* element(const char* p, TiXmlEncoding encoding);
  const char* startTag(const char* p, TiXmlEncoding encoding, bool& empty);
  const char* endTag(const char* p, TiXmlEncoding encoding);
  const char* otherNode(Kind kind, const char* p, TiXmlEncoding encoding);
  bool addAttributeName(const std::string& name);

  const std::size_t stopAbove_;
  std::size_t deepest_ = 0;
  std::vector<Open> open_;
  std::vector<std::string> attributeNames_;  // of the start tag being read
  std::size_t attributeCount_ = 0;
  std::string scratch_;
  TiXmlAttribute attribute_;
  TiXmlText text_{""};
  TiXmlComment comment_;
  TiXmlDeclaration declaration_;
  TiXmlUnknown unknown_;
};

// TiXmlNode::Identify's choice, at p; None where it answers null.
NestingMeasure::Kind NestingMeasure::identify(const char* p, TiXmlEncoding encoding) {
  p = SkipWhiteSpace(p, encoding);
  if (!p || !*p || *p != '<') return Kind::None;
  if (StringEqual(p, "<?xml", true, encoding)) return Kind::Declaration;
  if (StringEqual(p, "<!--", false, encoding)) return Kind::Comment;
  if (StringEqual(p, "<![CDATA[", false, encoding)) return Kind::CData;
  if (StringEqual(p, "<!", false, encoding)) return Kind::Unknown;
  if (IsAlpha(static_cast<unsigned char>(p[1]), encoding) || p[1] == '_') return Kind::Element;
  return Kind::Unknown;
}

// How TiXmlDocument::Parse reads the rest of a document after a declaration
// naming this encoding.
TiXmlEncoding NestingMeasure::declaredEncoding(const char* name) {
  if (*name == 0 || StringEqual(name, "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
      StringEqual(name, "UTF8", true, TIXML_ENCODING_UNKNOWN)) {
    return TIXML_ENCODING_UTF8;
  }
  return TIXML_ENCODING_LEGACY;
}

// TiXmlDocument::Parse.
std::size_t NestingMeasure::measure(const char* p) {
  if (!p || !*p) return 0;
  TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(p);
  if (encoding == TIXML_ENCODING_UNKNOWN && bytes[0] == 0xefU && bytes[1] == 0xbbU &&
      bytes[2] == 0xbfU) {
    encoding = TIXML_ENCODING_UTF8;
  }
  p = SkipWhiteSpace(p, encoding);
  while (p && *p) {
    const Kind kind = identify(p, encoding);
    if (kind == Kind::None) break;
    p = kind == Kind::Element ? element(p, encoding) : otherNode(kind, p, encoding);
    if (encoding == TIXML_ENCODING_UNKNOWN && kind == Kind::Declaration) {
      encoding = declaredEncoding(declaration_.Encoding());
    }
    p = SkipWhiteSpace(p, encoding);
  }
  return deepest_;
}

// TiXmlElement::Parse of the element at p, with its ReadValue and the Parse
// of every element inside it unrolled. Answers where that Parse returns, or
// null where it fails (which ends TinyXML's whole parse) and where the
// nesting passes stopAbove_.
const char* NestingMeasure::element(const char* p, TiXmlEncoding encoding) {
  for (;;) {
    // At the start of an element one level below the open ones. TinyXML
    // links the element into the tree even when its start tag then fails.
    if (open_.size() == stopAbove_) {
      deepest_ = stopAbove_ + 1;
      return nullptr;
    }
    open_.push_back({nullptr, 0});
    if (open_.size() > deepest_) deepest_ = open_.size();
    bool empty = false;
    p = startTag(p, encoding, empty);
    if (!p) return nullptr;
    if (empty) {
      open_.pop_back();
      if (open_.empty()) return p;
    }

    // ReadValue of the innermost open element, resumed at p; back to the
    // outer loop for a child element.
    for (;;) {
      const char* withWhiteSpace = p;
      p = SkipWhiteSpace(p, encoding);
      if (!p || !*p) return nullptr;  // content without its end tag
      if (*p != '<') {
        text_.SetCDATA(false);
        p = text_.Parse(IsWhiteSpaceCondensed() ? p : withWhiteSpace, nullptr, encoding);
      } else if (StringEqual(p, "</", false, encoding)) {
        p = endTag(p, encoding);
        if (!p) return nullptr;
        open_.pop_back();
        if (open_.empty()) return p;
      } else {
        const Kind kind = identify(p, encoding);
        if (kind == Kind::Element) break;
        p = otherNode(kind, p, encoding);
      }
    }
  }
}

// The start tag of the innermost open element, at p, up to its ">" or "/>"
// (`empty`): the first half of TiXmlElement::Parse.
const char* NestingMeasure::startTag(const char* p, TiXmlEncoding encoding, bool& empty) {
  p = SkipWhiteSpace(p, encoding);
  if (!p || !*p || *p != '<') return nullptr;
  p = SkipWhiteSpace(p + 1, encoding);
  if (!p) return nullptr;
  const char* const name = p;
  p = ReadName(p, &scratch_, encoding);
  if (!p || !*p) return nullptr;
  open_.back() = {name, static_cast<std::size_t>(p - name)};

  attributeCount_ = 0;
  for (;;) {
    p = SkipWhiteSpace(p, encoding);
    if (!p || !*p) return nullptr;
    if (*p == '/') {
      ++p;
      if (*p != '>') return nullptr;
      empty = true;
      return p + 1;
    }
    if (*p == '>') {
      empty = false;
      return p + 1;
    }
    p = attribute_.Parse(p, nullptr, encoding);
    if (!p || !*p) return nullptr;
    if (!addAttributeName(attribute_.NameTStr())) return nullptr;
  }
}

// TinyXML refuses a start tag that repeats an attribute's name.
bool NestingMeasure::addAttributeName(const std::string& name) {
  for (std::size_t i = 0; i < attributeCount_; ++i) {
    if (attributeNames_[i] == name) return false;
  }
  if (attributeCount_ == attributeNames_.size()) {
    attributeNames_.push_back(name);
  } else {
    attributeNames_[attributeCount_] = name;
  }
  ++attributeCount_;
  return true;
}

// The end tag of the innermost open element, at p ("</"): the second half
// of TiXmlElement::Parse. Null when it names another element.
const char* NestingMeasure::endTag(const char* p, TiXmlEncoding encoding) {
  scratch_.assign("</");
  scratch_.append(open_.back().name, open_.back().length);
  if (!StringEqual(p, scratch_.c_str(), false, encoding)) return nullptr;
  p = SkipWhiteSpace(p + scratch_.size(), encoding);
  if (p && *p == '>') return p + 1;
  return nullptr;
}

// A node that holds no elements, parsed by TinyXML's own code.
const char* NestingMeasure::otherNode(Kind kind, const char* p, TiXmlEncoding encoding) {
  switch (kind) {
    case Kind::Declaration:
      return declaration_.Parse(p, nullptr, encoding);
    case Kind::Comment:
      return comment_.Parse(p, nullptr, encoding);
    case Kind::CData:
      text_.SetCDATA(true);
      return text_.Parse(p, nullptr, encoding);
    case Kind::Unknown:
      return unknown_.Parse(p, nullptr, encoding);
    case Kind::None:
    case Kind::Element:
      break;
  }
  return nullptr;
}

}  // namespace

std::size_t elementNesting(const char* text, std::size_t stopAbove) {
  NestingMeasure measure(stopAbove);
  return measure.measure(text);
}

bool nestingWithinLimit(const char* text) {
  return elementNesting(text, kMaxElementNesting) <= kMaxElementNesting;
}

}  // namespace bu
