// Which archive entries may be extracted: names and link targets that could
// leave the destination are refused, on every port and with either separator.
// The plain forms (a leading "..", "...", ".. ", an absolute name, a drive, a
// stream, a link to "../x") also run through the real library in
// tests/archives; these are the rest of the rules.
#include <clocale>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "modules/archive_entry_name.h"

namespace bu::test {
namespace {

constexpr unsigned kUnixSymlink = 1;
constexpr unsigned kJunction = 3;
constexpr unsigned kHardLink = 4;

struct Case {
  const char* label;
  const wchar_t* name;
  unsigned redirection;
  const wchar_t* target;
  bool confined;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.label; }

// In a UTF-8 locale, as the program runs on a desktop.
class EntryName : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    previous_ = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  void TearDown() override { std::setlocale(LC_ALL, previous_.c_str()); }

 private:
  std::string previous_;
};

TEST_P(EntryName, IsJudged) {
  const Case& c = GetParam();
  EXPECT_EQ(isEntryConfined(c.name, c.redirection, c.target), c.confined);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, EntryName,
    ::testing::Values(
        Case{"PlainFile", L"readme.txt", kNotALink, L"", true},
        Case{"NestedWithEitherSeparator", L"a/b\\c/d.txt", kNotALink, L"", true},
        Case{"DotsInsideAComponent", L"v1..2/.profile/x.y.", kNotALink, L"", true},
        Case{"NonAscii", L"данные/café.txt", kNotALink, L"", true},
        Case{"Empty", L"", kNotALink, L"", false},
        Case{"ParentDeeperWithBackslash", L"a\\..\\..\\x", kNotALink, L"", false},
        Case{"ParentLast", L"a/..", kNotALink, L"", false},
        Case{"CurrentDirectory", L"a/./b", kNotALink, L"", false},
        Case{"BlankOnly", L"a/ /x", kNotALink, L"", false},
        Case{"DoubleSeparator", L"a//x", kNotALink, L"", false},
        Case{"TrailingSeparator", L"a/", kNotALink, L"", false},
        Case{"AbsoluteBackslash", L"\\x", kNotALink, L"", false},
        Case{"Unc", L"\\\\server\\share\\x", kNotALink, L"", false},
        Case{"Drive", L"C:x", kNotALink, L"", false},
        Case{"DriveAbsolute", L"c:/x", kNotALink, L"", false},
        Case{"TargetIgnoredForFiles", L"x", kNotALink, L"../../y", true},
        Case{"LinkDown", L"bin/tool", kUnixSymlink, L"real/tool", true},
        Case{"LinkDownBackslash", L"bin/tool", kUnixSymlink, L"real\\tool", true},
        Case{"LinkUpButInside", L"a/b/link", kUnixSymlink, L"../c", false},
        Case{"LinkToItsDirectory", L"a/link", kUnixSymlink, L".", false},
        Case{"LinkAbsolute", L"link", kUnixSymlink, L"/etc", false},
        Case{"JunctionToDrive", L"j", kJunction, L"\\??\\C:\\Windows", false},
        Case{"LinkWithoutTarget", L"link", kUnixSymlink, L"", false},
        Case{"HardLinkInside", L"copy", kHardLink, L"sub/original", true},
        Case{"HardLinkDrive", L"copy", kHardLink, L"C:/boot.ini", false},
        Case{"BadNameGoodTarget", L"../link", kUnixSymlink, L"x", false},
        // The library's narrow form of "..<U+D800>" is "..": chained, such
        // links lead out of the destination.
        Case{"LinkToDotsAndSurrogate", L"a/u1", kUnixSymlink, L"..\xD800", false},
        Case{"LinkThroughDotsAndSurrogate", L"a/u2", kUnixSymlink, L"u1/..\xD800", false},
        Case{"NameWithSurrogate", L"a/\xDC00x", kNotALink, L"", false}));

// In the C locale the library cannot convert any non-ASCII character: such a
// name or target would be cut short, so it is refused.
TEST(EntryNameInTheCLocale, NonAsciiIsRefused) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  EXPECT_FALSE(isEntryConfined(L"caf\u00e9.txt", kNotALink, L""));
  EXPECT_FALSE(isEntryConfined(L"link", kUnixSymlink, L"..\u00e9"));
  EXPECT_TRUE(isEntryConfined(L"cafe.txt", kNotALink, L""));
  std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
}  // namespace bu::test
