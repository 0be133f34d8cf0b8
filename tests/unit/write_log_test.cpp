// The log's framing: timestamp, separator, message cut to fit, newline;
// appending; a temporary directory that cannot be written; and what may
// stand at the log's name in a shared temporary directory.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
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
  EXPECT_EQ(composeLogLine(0, ""), "Thu Jan 01 00:00:00 1970 : \n");
}

// One message is one line: a control character in it (a line break in a
// destination, say) is written as a visible escape, never as itself; the tab
// of the program's own texts stays. An escape that does not fit is dropped
// whole.
TEST_F(UtcZone, ControlCharactersBecomeVisibleEscapes) {
  const struct {
    std::string message;
    std::string written;
  } cases[] = {
      {"ends in newline\n", "ends in newline\\n"},
      {"d:\\x\r\nThu Jan 01 00:00:00 1970 : FORGED LINE",
       "d:\\x\\r\\nThu Jan 01 00:00:00 1970 : FORGED LINE"},
      {"bell\x07 escape\x1b unit\x1f del\x7f", "bell\\x07 escape\\x1B unit\\x1F del\x7f"},
      {std::string(490, 'a') + "\n", std::string(490, 'a')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(composeLogLine(0, c.message.c_str()), "Thu Jan 01 00:00:00 1970 : " + c.written + "\n");
  }
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

// What may stand at the log's name before the program writes: only a missing
// name or a plain file of our own takes the line; anything else loses it and
// is left exactly as it was, and so is everything it points to.
struct LogPlace {
  const char* name;
  // Puts something at `log`; `dir` is a directory for whatever it points to.
  // False when the machine does not allow it (the case is skipped).
  bool (*plant)(const std::string& log, const std::string& dir);
  bool takesLine;
};

void PrintTo(const LogPlace& p, std::ostream* out) { *out << p.name; }

bool writeText(const std::string& path, const char* text) {
  std::ofstream(path, std::ios::binary) << text;
  return true;
}

const LogPlace kLogPlaces[] = {
    {"nothing", [](const std::string&, const std::string&) { return true; }, true},
    {"our own file", [](const std::string& log, const std::string&) { return writeText(log, "old\n"); },
     true},
    {"a link to our own file",
     [](const std::string& log, const std::string& dir) {
       return writeText(dir + "/victim", "victim\n") && symlink((dir + "/victim").c_str(), log.c_str()) == 0;
     },
     false},
    {"a dangling link",
     [](const std::string& log, const std::string& dir) {
       return symlink((dir + "/created").c_str(), log.c_str()) == 0;
     },
     false},
    {"a hard link to our own file",
     [](const std::string& log, const std::string& dir) {
       return writeText(dir + "/victim", "victim\n") && link((dir + "/victim").c_str(), log.c_str()) == 0;
     },
     false},
    {"another user's file",
     [](const std::string& log, const std::string&) {
       return writeText(log, "theirs\n") && chown(log.c_str(), geteuid() + 1, getegid()) == 0;
     },
     false},
    {"a directory",
     [](const std::string& log, const std::string&) { return mkdir(log.c_str(), 0700) == 0; }, false},
    {"a pipe with no reader",
     [](const std::string& log, const std::string&) { return mkfifo(log.c_str(), 0600) == 0; }, false},
};

// Every name below `root` with its type, permissions and content (a link's
// target), links not followed.
std::map<std::string, std::string> snapshot(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> found;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    struct stat status {};
    lstat(item.path().c_str(), &status);
    std::string what = std::to_string(status.st_mode) + ":" + std::to_string(status.st_uid) + ":";
    if (S_ISLNK(status.st_mode)) what += fs::read_symlink(item.path()).string();
    if (S_ISREG(status.st_mode)) what += readFile(item.path());
    found[item.path().string()] = what;
  }
  return found;
}

class LogPlaceTest : public ProgramTest, public ::testing::WithParamInterface<LogPlace> {};

TEST_P(LogPlaceTest, OnlyAMissingNameOrOurOwnPlainFileTakesTheLine) {
  const std::string log = temp_.logPath();
  const std::string dir = temp_.path() + "/elsewhere";
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  if (!GetParam().plant(log, dir)) GTEST_SKIP() << "cannot plant " << GetParam().name << " here";
  struct stat status {};
  const bool plainFile = lstat(log.c_str(), &status) == 0 && S_ISREG(status.st_mode);
  const std::string before = plainFile ? readFile(log) : "";  // a pipe would block the read
  const auto planted = snapshot(temp_.path());
  const mode_t mask = umask(0);  // the new file's mode must not depend on the caller's mask
  WriteLog("%s", "the line");
  umask(mask);

  if (!GetParam().takesLine) {
    EXPECT_EQ(snapshot(temp_.path()), planted);
    return;
  }
  ASSERT_EQ(lstat(log.c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  if (before.empty()) {
    EXPECT_EQ(status.st_mode & 07777, 0600u);
  }
  const std::string after = readFile(log);
  EXPECT_EQ(after.substr(0, before.size()), before);
  EXPECT_EQ(after.substr(before.size() + 24), " : the line\n");
}

INSTANTIATE_TEST_SUITE_P(Planted, LogPlaceTest, ::testing::ValuesIn(kLogPlaces));

}  // namespace
}  // namespace bu::test
