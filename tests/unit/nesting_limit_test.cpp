// The nesting limit of the configuration's parse: the parse reaches the
// depth that TinyXML's own parse reaches, reading the text as TinyXML reads
// it, and builds the same document; a deeply nested file fails the load
// instead of ending the process.
#include <fstream>
#include <ostream>
#include <string>
#include <utility>

#include <tinyxml.h>

#include "config/configuration.h"
#include "config/document_parser.h"
#include "config/result_codes.h"
#include "test_support.h"
#include "tinyxml_reading.h"

namespace bu::test {
namespace {

struct Case {
  const char* name;
  std::string xml;
  std::size_t depth;  // as TinyXML nests it
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class Nesting : public ::testing::TestWithParam<Case> {};

// Each case states TinyXML's reading and checks it against the tree TinyXML
// builds, so a case cannot encode a reading of its own.
TEST_P(Nesting, ReachesTheDepthTinyXmlReaches) {
  const Readings readings = readBoth(GetParam().xml);
  EXPECT_EQ(readings.built, GetParam().depth) << "TinyXML reads it otherwise";
  EXPECT_EQ(readings.measured, GetParam().depth);
  EXPECT_TRUE(readings.sameDocument);
}

const std::string kUtf8 = "<?xml version='1.0' encoding='UTF-8'?>";

INSTANTIATE_TEST_SUITE_P(
    Documents, Nesting,
    ::testing::Values(
        Case{"Flat", "<a></a><b/>", 1},
        Case{"Schema", "<r><info><file-name>x</file-name></info><product><auth-dll-info>"
                       "<location>l</location></auth-dll-info></product></r>", 4},
        Case{"SelfClosingOpensNoLevel", "<a><b/><c attr='1'/><d/></a>", 2},
        Case{"QuotedGreaterThanAndSlash", "<a x=\"/>\" y='>'><b>t</b></a>", 2},
        Case{"CommentHidesTags", "<a><!-- <b><c><d> --></a>", 1},
        Case{"CommentWithDashes", "<a><!-- - -- ---><b></b></a>", 2},
        Case{"CDataHidesTags", "<a><![CDATA[<b><c>]]]]></a>", 1},
        Case{"DeclarationAndDoctype", "<?xml version=\"1.0\"?><!DOCTYPE r><r>t</r>", 1},
        // A processing instruction ends at its first ">"; the text after it at
        // top level ends the document (this case used to read 1: "?>" as its end).
        Case{"ProcessingInstructionEndsAtFirstGreaterThan", "<?pi a>b ?><r></r>", 0},
        Case{"UnclosedCountsAsNested", "<a><b><c>", 3},
        Case{"StrayEndTagsDoNotGoNegative", "</x></y><a><b></b></a>", 2},

        // What TinyXML reads where a simpler reading hides elements.
        Case{"ProcessingInstructionHidesNothing", "<?x ><r><a><a>", 3},
        Case{"DeclarationEndsAtFirstGreaterThanOutsideQuotes", "<?xml version='1.0' ><r><a>", 2},
        Case{"DeclarationQuotesHideGreaterThan",
             "<?xml version='>' encoding=\"a>b\"?><r><a></a></r>", 2},
        Case{"Utf8LeadByteSwallowsCommentStart", kUtf8 + "<r>\xe3<!--<a><a>", 3},
        Case{"LegacyEncodingKeepsTheComment",
             "<?xml version='1.0' encoding='windows-1252'?><r>\xe3<!--<a><a>", 1},
        Case{"NoDeclarationKeepsTheComment", "<r>\xe3<!--<a><a>", 1},
        Case{"DeclarationWithoutEncodingMeansUtf8", "<?xml version='1.0'?><r>\xe3<!--<a>", 2},
        Case{"ByteOrderMarkMeansUtf8", "\xef\xbb\xbf<r>\xe3<!--<a><a>", 3},
        Case{"Utf8LeadByteSwallowsClosingQuote", kUtf8 + "<r a='\xe3'><a>'><b>", 2},
        Case{"EntityJumpsOverCommentStart", "<r>&#x<!--x;<a><a>", 3},
        Case{"EntityJumpsOverClosingQuote", "<r a='&#x'x;'><a><a>", 3},
        Case{"EntityJumpsOverTags", "<r>&#x<a><a>x;<b>", 2},
        Case{"UnknownEndsAtFirstGreaterThan",
             "<r><!DOCTYPE x [<!ENTITY e '>'>]><a></a></r>", 2},
        Case{"TextAtTopLevelEndsTheDocument", "<!DOCTYPE r [<!ENTITY e 'x'>]><r><a>", 0},
        Case{"LessThanSpaceIsUnknown", "< r><a>", 1},
        Case{"CommentUnclosedAtEnd", "<r><!-- <a>", 1},
        Case{"CDataUnclosedAtEnd", "<r><![CDATA[<a>", 1},
        Case{"EndTagOfAnotherElementEndsTheParse", "<r></x><a>", 1},
        Case{"RepeatedAttributeEndsTheParse", "<r a='1' a='2'><a>", 1},
        Case{"SpaceInEmptyTagEndsTheParse", "<r><a/ ><b><c>", 2},
        Case{"EndTagMayHoldSpace", "<r><a></a ><b></b></r>", 2},
        Case{"EndTagNamePrefixEndsTheParse", "<r><a></ab><b>", 2},
        Case{"LineBreaksNormalised", "<r\r><a\r\n/><b\n></b\r></r>", 2},
        Case{"NulEndsTheText", std::string("<r>\0<a>", 7), 1},
        Case{"Utf8LeadByteReadsOnBehindNul", kUtf8 + std::string("<r>\xe3\0<a><a>", 10), 2},
        Case{"Utf8LeadByteAtTheEnd", kUtf8 + "<r>\xf0", 1}));

std::string nested(std::size_t depth) {
  std::string xml;
  for (std::size_t i = 0; i < depth; ++i) xml += "<e>";
  for (std::size_t i = 0; i < depth; ++i) xml += "</e>";
  return xml;
}

std::string repeated(const std::string& piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(NestingLimit, ParseStopsJustAboveTheLimitWithATreeNoDeeper) {
  TiXmlDocument deep;
  const ParseOutcome outcome = parseDocument(repeated("<a>", 100000).c_str(), deep, 10);
  EXPECT_FALSE(outcome.parsed);
  EXPECT_EQ(outcome.deepest, 11u);
  EXPECT_EQ(treeDepth(deep), 10u);

  TiXmlDocument atLimit;
  EXPECT_TRUE(parseDocument(nested(kMaxElementNesting).c_str(), atLimit).parsed);
  TiXmlDocument aboveLimit;
  EXPECT_FALSE(parseDocument(nested(kMaxElementNesting + 1).c_str(), aboveLimit).parsed);
}

TEST_F(PackageTest, DeepNestingFailsTheLoadInsteadOfOverflowingTheStack) {
  const std::string deep = repeated("<a>", 200000);
  for (const auto& [xml, expected] : {
           std::pair<std::string, int>{nested(kMaxElementNesting), 102},
           {nested(kMaxElementNesting + 1), 101},
           {nested(200000), 101},
           // Deep nesting behind each construct that a simpler reading skips.
           {"<?x ><r>" + deep, 101},
           {"<?x ><r>" + nested(kMaxElementNesting) + "</r>", 101},
           {"<?xml version='1.0' ><r>" + deep, 101},
           {kUtf8 + "<r>\xe3<!--" + deep, 101},
           {"\xef\xbb\xbf<r>\xe3<!--" + deep, 101},
           {"<r>&#x<!--x;" + deep, 101},
           {"<r a='&#x'x;'>" + deep, 101}}) {
    std::ofstream("buConfig.xml", std::ios::binary) << xml;
    TiXmlDocument document;
    EXPECT_EQ(loadConfigurationFile(document), expected) << xml.substr(0, 40);
  }
}

}  // namespace
}  // namespace bu::test
