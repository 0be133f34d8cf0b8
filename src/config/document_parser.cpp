#include "config/document_parser.h"

#include <tinyxml.h>

#include <memory>
#include <string>
#include <vector>

namespace bu {
namespace {

// TiXmlDocument::Parse with TiXmlElement::Parse and ReadValue, whose
// recursion is the only recursion of TinyXML's parser, turned into one loop
// over an explicit stack of open elements. Every step that reads text is
// TinyXML's own code: its white-space, name and string helpers, and the Parse
// functions of its attribute, text, CDATA, comment, declaration and unknown
// nodes. Restated here are only the order of those steps, the choice of node
// (TiXmlNode::Identify), the encoding a declaration selects and the test for
// a blank text. So what ends a construct is always what TinyXML itself says
// ends it, and the document gets the nodes, in the same places, that
// TinyXML's parse gives it, with the same error on failure. Only three things
// differ: nodes and errors carry no row and column, the document does not
// remember a byte-order mark (both matter only to error reports and to
// saving), and the nesting has a limit.
//
// Derived from a TinyXML node for access to those helpers, which are
// protected; it is never part of a document.
class IterativeParser final : public TiXmlElement {
 public:
  IterativeParser(TiXmlDocument& document, std::size_t maxNesting)
      : TiXmlElement(""), document_(document), maxNesting_(maxNesting) {
    // An attribute reports its errors to the document, as in an element.
    attribute_.SetDocument(&document);
  }

  void parse(const char* p);
  std::size_t deepest() const { return deepest_; }

 private:
  enum class Kind { None, Declaration, Comment, CData, Unknown, Element };

  static Kind identify(const char* p, TiXmlEncoding encoding);
  static TiXmlEncoding declaredEncoding(const char* name);
  static bool blank(const std::string& text);
  const char* element(const char* p, TiXmlEncoding encoding);
  const char* startTag(const char* p, TiXmlEncoding encoding, bool& empty);
  const char* endTag(const char* p, TiXmlEncoding encoding);
  const char* otherNode(Kind kind, const char* p, TiXmlEncoding encoding, TiXmlNode& parent);
  const char* fail(int error, TiXmlEncoding encoding);

  TiXmlDocument& document_;
  const std::size_t maxNesting_;
  std::size_t deepest_ = 0;
  std::vector<TiXmlElement*> open_;  // the elements whose content is being read
  std::string name_;                 // reused for names and end tags
  TiXmlAttribute attribute_;         // reused: its name and value are copied
};

// TiXmlNode::Identify's choice of node at p; None where it gives none.
IterativeParser::Kind IterativeParser::identify(const char* p, TiXmlEncoding encoding) {
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
TiXmlEncoding IterativeParser::declaredEncoding(const char* name) {
  if (*name == 0 || StringEqual(name, "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
      StringEqual(name, "UTF8", true, TIXML_ENCODING_UNKNOWN)) {
    return TIXML_ENCODING_UTF8;
  }
  return TIXML_ENCODING_LEGACY;
}

// TiXmlText::Blank: ReadValue drops a text node that is only white space.
bool IterativeParser::blank(const std::string& text) {
  for (const char c : text) {
    if (!IsWhiteSpace(c)) return false;
  }
  return true;
}

// TinyXML keeps the first error of a parse and returns null from there on.
const char* IterativeParser::fail(int error, TiXmlEncoding encoding) {
  document_.SetError(error, nullptr, nullptr, encoding);
  return nullptr;
}

// TiXmlDocument::Parse, on the empty document.
void IterativeParser::parse(const char* p) {
  document_.ClearError();
  if (!p || !*p) {
    fail(TIXML_ERROR_DOCUMENT_EMPTY, TIXML_ENCODING_UNKNOWN);
    return;
  }
  TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(p);
  if (encoding == TIXML_ENCODING_UNKNOWN && bytes[0] == 0xefU && bytes[1] == 0xbbU &&
      bytes[2] == 0xbfU) {
    encoding = TIXML_ENCODING_UTF8;
  }
  p = SkipWhiteSpace(p, encoding);
  if (!p) {
    fail(TIXML_ERROR_DOCUMENT_EMPTY, TIXML_ENCODING_UNKNOWN);
    return;
  }
  while (p && *p) {
    const Kind kind = identify(p, encoding);
    if (kind == Kind::None) break;
    p = kind == Kind::Element ? element(p, encoding) : otherNode(kind, p, encoding, document_);
    if (encoding == TIXML_ENCODING_UNKNOWN && kind == Kind::Declaration) {
      encoding = declaredEncoding(document_.LastChild()->ToDeclaration()->Encoding());
    }
    p = SkipWhiteSpace(p, encoding);
  }
  if (!document_.FirstChild()) fail(TIXML_ERROR_DOCUMENT_EMPTY, encoding);
}

// TiXmlElement::Parse of the element at p, with its ReadValue and the Parse
// of every element inside it unrolled. Answers where that Parse returns, or
// null where it fails (which ends the whole parse) and where the nesting
// would pass maxNesting_.
const char* IterativeParser::element(const char* p, TiXmlEncoding encoding) {
  for (;;) {
    // At the start tag of an element one level below the open ones.
    if (open_.size() == maxNesting_) {
      deepest_ = maxNesting_ + 1;
      return fail(TIXML_ERROR, encoding);
    }
    bool empty = false;
    p = startTag(p, encoding, empty);
    if (open_.size() > deepest_) deepest_ = open_.size();
    if (!p) return nullptr;
    if (empty) {
      open_.pop_back();
      if (open_.empty()) return p;
    }

    // ReadValue of the innermost open element, resumed at p; back to the
    // outer loop for a child element.
    for (;;) {
      TiXmlElement& parent = *open_.back();
      const char* withWhiteSpace = p;
      p = SkipWhiteSpace(p, encoding);
      if (!p) return fail(TIXML_ERROR_READING_ELEMENT_VALUE, encoding);
      if (!*p) return fail(TIXML_ERROR_READING_END_TAG, encoding);
      if (*p != '<') {
        auto text = std::make_unique<TiXmlText>("");
        p = text->Parse(IsWhiteSpaceCondensed() ? p : withWhiteSpace, nullptr, encoding);
        if (!blank(text->ValueStr())) parent.LinkEndChild(text.release());
      } else if (StringEqual(p, "</", false, encoding)) {
        p = endTag(p, encoding);
        if (!p) return fail(TIXML_ERROR_READING_END_TAG, encoding);
        open_.pop_back();
        if (open_.empty()) return p;
      } else {
        const Kind kind = identify(p, encoding);
        if (kind == Kind::Element) break;
        p = otherNode(kind, p, encoding, parent);
      }
    }
  }
}

// The start tag at p, up to its ">" or "/>" (`empty`): the first half of
// TiXmlElement::Parse. Opens the element (in the tree even when the tag then
// fails, as TinyXML links it) and reads its attributes into it.
const char* IterativeParser::startTag(const char* p, TiXmlEncoding encoding, bool& empty) {
  p = SkipWhiteSpace(p + 1, encoding);  // past the "<" that identify saw
  name_.clear();
  p = p ? ReadName(p, &name_, encoding) : nullptr;
  TiXmlElement* const element = new TiXmlElement(name_);
  (open_.empty() ? static_cast<TiXmlNode&>(document_) : *open_.back()).LinkEndChild(element);
  open_.push_back(element);
  if (!p || !*p) return fail(TIXML_ERROR_FAILED_TO_READ_ELEMENT_NAME, encoding);

  for (;;) {
    p = SkipWhiteSpace(p, encoding);
    if (!p || !*p) return fail(TIXML_ERROR_READING_ATTRIBUTES, encoding);
    if (*p == '/') {
      ++p;
      if (*p != '>') return fail(TIXML_ERROR_PARSING_EMPTY, encoding);
      empty = true;
      return p + 1;
    }
    if (*p == '>') {
      empty = false;
      return p + 1;
    }
    p = attribute_.Parse(p, nullptr, encoding);
    // A repeated name fails the tag.
    if (!p || !*p || element->Attribute(attribute_.NameTStr())) {
      return fail(TIXML_ERROR_PARSING_ELEMENT, encoding);
    }
    element->SetAttribute(attribute_.NameTStr(), attribute_.ValueStr());
  }
}

// The end tag of the innermost open element, at p ("</"): the second half
// of TiXmlElement::Parse. Null when it names another element or lacks ">".
const char* IterativeParser::endTag(const char* p, TiXmlEncoding encoding) {
  name_.assign("</");
  name_.append(open_.back()->ValueStr());
  if (!StringEqual(p, name_.c_str(), false, encoding)) return nullptr;
  p = SkipWhiteSpace(p + name_.size(), encoding);
  if (p && *p == '>') return p + 1;
  return nullptr;
}

// A node that holds no elements, parsed by TinyXML's own code and linked
// below `parent`.
const char* IterativeParser::otherNode(Kind kind, const char* p, TiXmlEncoding encoding,
                                       TiXmlNode& parent) {
  std::unique_ptr<TiXmlNode> node;
  switch (kind) {
    case Kind::Declaration:
      node = std::make_unique<TiXmlDeclaration>();
      break;
    case Kind::Comment:
      node = std::make_unique<TiXmlComment>();
      break;
    case Kind::CData: {
      auto text = std::make_unique<TiXmlText>("");
      text->SetCDATA(true);
      node = std::move(text);
      break;
    }
    case Kind::Unknown:
      node = std::make_unique<TiXmlUnknown>();
      break;
    case Kind::None:
    case Kind::Element:
      return nullptr;
  }
  p = node->Parse(p, nullptr, encoding);
  parent.LinkEndChild(node.release());
  return p;
}

}  // namespace

ParseOutcome parseDocument(const char* text, TiXmlDocument& document, std::size_t maxNesting) {
  IterativeParser parser(document, maxNesting);
  parser.parse(text);
  return {!document.Error(), parser.deepest()};
}

}  // namespace bu
