// /list over the entry list: the box text and each entry's log block, and
// 8-bit texts (converted for the box, unconverted in the log). An empty list
// and silent mode are end-to-end scenarios.
#include <clocale>
#include <string>
#include <vector>

#include "config/update_entry.h"
#include "engine/modes.h"
#include "test_support.h"

namespace bu::test {
namespace {

const char kHeading[] = "Following updates are available for deployment: \n\n";
const char kNote[] = "\nNOTE: Please use the \"/extract\" command to deploy an individual update.";

UpdateEntry entry(const std::string& file, const std::string& description) {
  return {"AuthType", "DeployType", file, description, "Auth.dll", "Deploy.dll", "local",
          "package"};
}

std::vector<std::string> block(const std::string& file, const std::string& description) {
  return {"PROCESSING ENTRY: " + file + " - " + description,
          "Entry details:",
          "\tUpdate-File: \t\t\t" + file,
          "\tUpdate-Desc: \t\t\t" + description,
          "\tAuth DLL Name: \t\t\tAuth.dll",
          "\tAuth DLL Location: \t\tlocal",
          "\tAuth Content-Type: \t\tAuthType",
          "\tDeploy Content-Type: \t\tDeployType",
          "\tDeploy DLL Name: \t\tDeploy.dll",
          "\tDeploy DLL Location: \t\tpackage"};
}

Box listBox(const std::string& lines) {
  return {"BU Information", "information", kHeading + lines + kNote, "OK"};
}

class Listing : public ProgramTest {
 protected:
  void TearDown() override { updateEntries.clear(); }
};

// Entries sharing a file name are both listed, in file order; a '%' in a
// text is data, not format.
TEST_F(Listing, ShowsEveryEntryAndLogsItsDetails) {
  updateEntries = {entry("A.rar", "First 100%"), entry("A.rar", "Second"),
                   entry("b.RAR", "Third %s")};
  StdioCapture capture;
  EXPECT_EQ(listUpdates(), 0);
  EXPECT_EQ(parseBoxes(capture.finish()),
            std::vector<Box>{listBox("A.rar\t- First 100%\nA.rar\t- Second\nb.RAR\t- Third %s\n")});
  std::vector<std::string> log;
  for (const auto& e : updateEntries) {
    const auto lines = block(e.updateFile, e.updateDescription);
    log.insert(log.end(), lines.begin(), lines.end());
  }
  EXPECT_EQ(logMessages(), log);
  EXPECT_EQ(updateEntries.size(), 3u);
}

// Sets a locale for the test's lifetime.
class Locale {
 public:
  explicit Locale(const char* name)
      : previous_(std::setlocale(LC_ALL, nullptr)), set_(std::setlocale(LC_ALL, name) != nullptr) {}
  ~Locale() { std::setlocale(LC_ALL, previous_.c_str()); }
  bool set() const { return set_; }
  Locale(const Locale&) = delete;
  Locale& operator=(const Locale&) = delete;

 private:
  std::string previous_;
  bool set_;
};

// The box text goes through the locale's character set, the log does not:
// in a UTF-8 locale a UTF-8 "é" shows as itself, while a Latin-1 byte, which
// UTF-8 cannot read, shows as '?' in the box and stays a byte in the log.
TEST_F(Listing, EightBitTextsAreConvertedForTheBoxOnly) {
  Locale utf8("C.UTF-8");
  ASSERT_TRUE(utf8.set());
  const std::string description = "Mise \xC3\xA0 jour \xE9t\xE9";
  updateEntries = {entry("Caf\xC3\xA9.rar", description)};
  StdioCapture capture;
  EXPECT_EQ(listUpdates(), 0);
  EXPECT_EQ(parseBoxes(capture.finish()),
            std::vector<Box>{listBox("Caf\xC3\xA9.rar\t- Mise \xC3\xA0 jour ?t?\n")});
  EXPECT_EQ(logMessages(), block("Caf\xC3\xA9.rar", description));
}

}  // namespace
}  // namespace bu::test
