// The log's framing: timestamp, separator, message cut to fit, newline;
// appending; and a temporary directory that cannot be written.
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

#include "log/write_log.h"
#include "test_support.h"

namespace bu::test {
namespace {

// Timestamps are local time; the tests pin the zone to UTC.
class UtcZone : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

struct Stamp {
  std::time_t when;
  const char* text;
};

void PrintTo(const Stamp& s, std::ostream* out) { *out << s.text; }

class Timestamp : public UtcZone, public ::testing::WithParamInterface<Stamp> {};

TEST_P(Timestamp, HasTheFixedEnglishForm) {
  EXPECT_EQ(formatLogTimestamp(GetParam().when), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Dates, Timestamp,
                         ::testing::Values(Stamp{1796691125, "Tue Dec 08 00:52:05 2026"},
                                           Stamp{1796461623, "Sat Dec 05 09:07:03 2026"},
                                           Stamp{0, "Thu Jan 01 00:00:00 1970"},
                                           Stamp{951782400, "Tue Feb 29 00:00:00 2000"},
                                           Stamp{1798761599, "Thu Dec 31 23:59:59 2026"}));

TEST_F(UtcZone, LineIsTimestampSeparatorMessageNewline) {
  EXPECT_EQ(composeLogLine(0, "BU_CMD: /list option specified."),
            "Thu Jan 01 00:00:00 1970 : BU_CMD: /list option specified.\n");
  EXPECT_EQ(composeLogLine(0, "\tindented"), "Thu Jan 01 00:00:00 1970 : \tindented\n");
  EXPECT_EQ(composeLogLine(0, "ends in newline\n"),
            "Thu Jan 01 00:00:00 1970 : ends in newline\n\n");
  EXPECT_EQ(composeLogLine(0, ""), "Thu Jan 01 00:00:00 1970 : \n");
}

TEST_F(UtcZone, LongMessagesAreCutToFit) {
  const std::string fits(kMaxLogMessage, 'a');
  EXPECT_EQ(composeLogLine(0, fits.c_str()).size(), 24 + 3 + 491 + 1);
  const std::string tooLong(5000, 'b');
  const std::string line = composeLogLine(0, tooLong.c_str());
  EXPECT_EQ(line, "Thu Jan 01 00:00:00 1970 : " + std::string(491, 'b') + "\n");
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST_F(ProgramTest, LinesAreAppendedAndArgumentsExpanded) {
  WriteLog("first %s %d", "x", 7);
  WriteLog("%s", "second");
  EXPECT_EQ(logMessages(), (std::vector<std::string>{"first x 7", "second"}));
  const std::string content = readFile(temp_.logPath());
  EXPECT_EQ(content[24], ' ');
  EXPECT_EQ(content.substr(24, 3), " : ");
}

TEST_F(ProgramTest, AnArgumentLongerThanTheBufferIsCut) {
  const std::string huge(10000, 'z');
  WriteLog("prefix %s suffix", huge.c_str());
  const std::string content = readFile(temp_.logPath());
  ASSERT_EQ(content.size(), 24u + 3 + 491 + 1);
  EXPECT_EQ(content.substr(27, 7), "prefix ");
  EXPECT_EQ(content.back(), '\n');
}

TEST_F(ProgramTest, UnwritableTemporaryDirectoryChangesNothing) {
  setenv("TMPDIR", (temp_.path() + "/missing/dir").c_str(), 1);
  WriteLog("%s", "lost");  // returns normally, writes nothing
  setenv("TMPDIR", temp_.path().c_str(), 1);
  WriteLog("%s", "kept");
  EXPECT_EQ(logMessages(), std::vector<std::string>{"kept"});
}

}  // namespace
}  // namespace bu::test
