// The Windows splitting rules as the POSIX port applies them to "sfxcmd".
// The differential test under Wine holds the same function against the
// system's own CommandLineToArgvW on a larger corpus.
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/argv_splitter.h"

namespace bu {
namespace {

struct Case {
  const wchar_t* line;
  std::vector<std::wstring> tokens;
};

void PrintTo(const Case& c, std::ostream* out) {
  for (const wchar_t* p = c.line; *p != L'\0'; ++p) *out << (*p < 128 ? static_cast<char>(*p) : '?');
}

class Splitter : public ::testing::TestWithParam<Case> {};

TEST_P(Splitter, SplitsLikeTheWindowsShell) {
  EXPECT_EQ(splitWindowsCommandLine(GetParam().line, L"C:\\self.exe"), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Splitter,
    ::testing::Values(
        Case{L"", {L"C:\\self.exe"}},
        Case{L"prog", {L"prog"}},
        Case{L"prog a  b\tc", {L"prog", L"a", L"b", L"c"}},
        Case{L"prog a ", {L"prog", L"a"}},
        Case{L"\"C:\\Program Files\\p.exe\" /q", {L"C:\\Program Files\\p.exe", L"/q"}},
        Case{L"C:\\dir\\\"x y\" z", {L"C:\\dir\\\"x", L"y z"}},
        Case{L"prog \"\"", {L"prog", L""}},
        Case{L"prog \"a b\" c", {L"prog", L"a b", L"c"}},
        Case{L"prog a\"b c\"d", {L"prog", L"ab cd"}},
        Case{L"prog \\\\\\\"a", {L"prog", L"\\\"a"}},
        Case{L"prog \\\\\"a b\"", {L"prog", L"\\a b"}},
        Case{L"prog a\\\\b", {L"prog", L"a\\\\b"}},
        Case{L"prog \"a\\\\\"", {L"prog", L"a\\"}},
        Case{L"prog \"\"\"", {L"prog", L"\""}},
        Case{L"prog \"a\"\"b\"", {L"prog", L"a\"b"}},
        Case{L"prog \"a \"\"b c", {L"prog", L"a \"b", L"c"}},
        Case{L"prog \"unterminated arg", {L"prog", L"unterminated arg"}}));

}  // namespace
}  // namespace bu
