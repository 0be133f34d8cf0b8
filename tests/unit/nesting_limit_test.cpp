// The nesting guard in front of the XML parser: it may count more levels
// than the parser nests, never fewer; and a deeply nested file fails the load
// instead of ending the process.
#include <fstream>
#include <ostream>
#include <string>

#include <tinyxml.h>

#include "app/result_codes.h"
#include "config/configuration.h"
#include "config/nesting_limit.h"
#include "test_support.h"

namespace bu::test {
namespace {

struct Case {
  const char* name;
  const char* xml;
  std::size_t deepest;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class Nesting : public ::testing::TestWithParam<Case> {};

TEST_P(Nesting, CountsElementLevels) {
  const std::string xml = GetParam().xml;
  NestingScanner whole;
  whole.feed(xml.data(), xml.size());
  EXPECT_EQ(whole.deepest(), GetParam().deepest);

  // Fed one byte at a time, as a chunk boundary may fall anywhere.
  NestingScanner bytewise;
  for (char c : xml) bytewise.feed(&c, 1);
  EXPECT_EQ(bytewise.deepest(), GetParam().deepest);
}

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
        Case{"ProcessingInstructionWithGreaterThan", "<?pi a>b ?><r></r>", 1},
        Case{"UnclosedCountsAsNested", "<a><b><c>", 3},
        Case{"StrayEndTagsDoNotGoNegative", "</x></y><a><b></b></a>", 2}));

std::string nested(std::size_t depth) {
  std::string xml;
  for (std::size_t i = 0; i < depth; ++i) xml += "<e>";
  for (std::size_t i = 0; i < depth; ++i) xml += "</e>";
  return xml;
}

TEST_F(PackageTest, DeepNestingFailsTheLoadInsteadOfOverflowingTheStack) {
  for (const auto& [depth, expected] : {std::pair<std::size_t, int>{kMaxElementNesting, 102},
                                        {kMaxElementNesting + 1, 101},
                                        {200000, 101}}) {
    std::ofstream("buConfig.xml", std::ios::binary) << nested(depth);
    TiXmlDocument document;
    EXPECT_EQ(loadConfigurationFile(document), expected) << depth;
  }
}

}  // namespace
}  // namespace bu::test
