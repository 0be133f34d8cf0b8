// The configuration's parse against TinyXML's own, over generated files that
// mix every construct TinyXML reads specially: it must reach exactly the depth
// of the tree TinyXML builds and build the same document, and the loader
// must load exactly what TinyXML's LoadFile loads.
#include <tinyxml.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "config/result_codes.h"
#include "test_support.h"
#include "tinyxml_reading.h"

namespace bu::test {
namespace {

const char kBom[] = "\xef\xbb\xbf";

const char* const kDeclarations[] = {
    "<?xml version='1.0'?>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
    "<?xml version='1.0' encoding='windows-1252'?>", "<?xml encoding=\"utf8\" ?>",
    "<?XML Version='1.0' Encoding='Latin1'?>", "<?xml version='>' encoding=\"UTF-8\"?>",
    "<?xml version='1.0' >", "<?xml encoding=''?>", "<?xml standalone='yes' junk ?>",
    "<?xml version=1.0?>", "<?xml version='1.0", "<?xml",
};

// Whole constructs, their openings and closings apart, text, entities, line
// breaks and the bytes that change how TinyXML steps through text.
const std::string kPieces[] = {
    "<?x >", "<?pi a?>", "<?pi a>b ?>", "<?",
    "<!-- c -->", "<!--", "-->", "<!--->", "<!-- <a> -->", "--",
    "<![CDATA[x]]>", "<![CDATA[", "]]>", "<![CDATA[<a>]]>",
    "<!DOCTYPE r>", "<!DOCTYPE r [<!ENTITY e 'x'>]>", "<!DOCTYPE r [<!-- ]> -->]>",
    "<!x>", "<!", "< a>", "<1>", "<>", "</>", "<", "<a", "<b x", "<r ", "/ >",
    "t", "text with > and \" and '", " ", "\t", "\r\n", "\r", "\n", ">", "'", "\"", "=", "/",
    "&amp;", "&lt;", "&#x41;", "&#65;", "&#x", "&#", "x;", ";", "&", "&#x<!--x;", "&#xZ;",
    "\xe3", "\xc3", "\xf0", kBom, "\xef\xbf\xbe", "\xef", "\xc0", std::string(1, '\0'),
};

const char* const kNames[] = {"a", "b", "r", "_u", "n:s", "x-y.z", "\xe3\x81\x82"};

const char* const kAttributes[] = {
    " x='1'", " y=\"a>b\"", " z=v", " x='2'", " a='&#x'x;'", " q='\xe3'", " w=\"/>\"", " bad='",
};

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  std::string next() {
    std::string xml;
    if (chance(8)) xml += kBom;
    if (chance(2)) xml += pick(kDeclarations);
    std::vector<std::string> open;
    const unsigned steps = 1 + random_() % 40;
    for (unsigned i = 0; i < steps; ++i) {
      switch (random_() % 8) {
        case 0:
        case 1:
        case 2:
          open.push_back(pick(kNames));
          xml += "<" + open.back() + attributes() + ">";
          break;
        case 3:
        case 4:
          if (open.empty()) break;
          xml += endTag(open.back());
          open.pop_back();
          break;
        case 5:
          xml += std::string("<") + pick(kNames) + attributes() + (chance(8) ? "/ >" : "/>");
          break;
        default:
          xml += pick(kPieces);
      }
    }
    if (chance(2)) {
      for (; !open.empty(); open.pop_back()) xml += "</" + open.back() + ">";
    }
    return xml;
  }

 private:
  bool chance(unsigned n) { return random_() % n == 0; }

  template <typename T, std::size_t N>
  const T& pick(const T (&choices)[N]) {
    return choices[random_() % N];
  }

  std::string attributes() {
    std::string text;
    while (chance(3)) text += pick(kAttributes);
    return text;
  }

  std::string endTag(const std::string& name) {
    switch (random_() % 20) {
      case 0:
        return "</" + name + " >";
      case 1:
        return "</zz>";
      case 2:
        return "</" + name;
      default:
        return "</" + name + ">";
    }
  }

  std::mt19937 random_;
};

std::string repeated(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// The files that hid deep nesting from an earlier nesting check, made shallow
// enough for TinyXML to parse them here; then the generated ones.
std::vector<std::string> inputs() {
  const std::string deep = repeated("<a>", 40);
  std::vector<std::string> all = {
      "<?x ><r>" + deep,
      "<?x ><r>" + deep + repeated("</a>", 40) + "</r>",
      "<?xml version='1.0' ><r>" + deep,
      "<?xml version='1.0' encoding='UTF-8'?><r>\xe3<!--" + deep,
      std::string(kBom) + "<r>\xe3<!--" + deep,
      "<r>&#x<!--x;" + deep,
      "<r a='&#x'x;'>" + deep,
  };
  Generator generator(20240601);
  for (int i = 0; i < 4000; ++i) all.push_back(generator.next());
  return all;
}

TEST(NestingDifferential, ParseReachesTheDepthAndBuildsTheDocumentOfTinyXml) {
  std::size_t disagreements = 0;
  std::size_t nestedFive = 0;
  for (const std::string& xml : inputs()) {
    const Readings readings = readBoth(xml);
    if ((readings.measured != readings.built || !readings.sameDocument) &&
        ++disagreements <= 10) {
      ADD_FAILURE() << "depth " << readings.measured << ", TinyXML's " << readings.built
                    << (readings.sameDocument ? "" : ", another document") << " for "
                    << ::testing::PrintToString(xml);
    }
    nestedFive += readings.built >= 5;
  }
  EXPECT_EQ(disagreements, 0u);
  // The generated files get past their first levels often enough to test
  // more than the start of a document.
  EXPECT_GE(nestedFive, 200u);
}

// LoadFile reads past its buffer when the text ends in a UTF-8 lead byte
// (see xml_text.h): such files have no defined reading to compare with.
bool loadFileStaysInBounds(const std::string& xml) {
  const std::size_t from = xml.size() < 3 ? 0 : xml.size() - 3;
  return std::none_of(xml.begin() + static_cast<std::ptrdiff_t>(from), xml.end(),
                      [](char c) { return static_cast<unsigned char>(c) >= 0xc2; });
}

TEST_F(PackageTest, LoaderLoadsWhatLoadFileLoads) {
  std::vector<std::string> all = inputs();
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(BU_FIXTURES_DIR) / "configs")) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    all.push_back(content.str());
  }
  std::size_t differences = 0;
  for (const std::string& xml : all) {
    if (!loadFileStaysInBounds(xml)) continue;
    // A new file each time: rewriting a truncated one makes some file
    // systems flush it to disk on close, which costs seconds here.
    std::filesystem::remove("buConfig.xml");
    std::ofstream("buConfig.xml", std::ios::binary) << xml;
    TiXmlDocument ours;
    const bool loaded = loadConfigurationFile(ours) == kResultConfigLoaded;
    TiXmlDocument theirs;
    const bool loadFileLoaded = theirs.LoadFile("buConfig.xml");
    if ((loaded != loadFileLoaded || described(ours) != described(theirs)) &&
        ++differences <= 10) {
      ADD_FAILURE() << "loaded " << loaded << ", LoadFile " << loadFileLoaded << " for "
                    << ::testing::PrintToString(xml);
    }
  }
  EXPECT_EQ(differences, 0u);
}

}  // namespace
}  // namespace bu::test
