// The command-line grammar as a table: what is accepted, what is stored,
// which lines are logged and which box is shown.
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/run_options.h"
#include "platform/string_resource.h"
#include "platform/text.h"
#include "test_support.h"

namespace bu::test {
namespace {

enum class Shown { Nothing, Help, InvalidArguments, NotAbsolute };

struct Case {
  const char* name;
  const char* sfxcmd;  // the whole command line, program name first
  int result;
  Mode mode;
  bool silent;
  bool rollback;
  bool oem;
  const char* file;
  const char* path;
  std::vector<std::string> log;
  Shown box;
};

const char kTail[] = "/Raw Tail";  // what the entry point received
const std::string kRejected = std::string("BU_CMD: Invalid arguments specified by the user: ") + kTail;
const std::string kList = "BU_CMD: /list option specified.";
const std::string kQuiet =
    "BU_CMD: /q option specified. Preparing to execute BU in un-atteneded/slient mode.";
const std::string kRollback =
    "BU_CMD: /r option specified. Enabling the rollback support during deployment.";
const std::string kOem = "BU_CMD: /tvxoem option specified.";
const std::string kHelp = "BU_CMD: /? option specified. Displaying HELP menu to the user.";
const std::string kMissing =
    "BU_CMD: /extract option specified without the required arguments. Please specify <file> "
    "and <path> while using this command.";
const std::string kNoPath =
    "BU_CMD: /extract option specified without the destination path. Please specify <file> "
    "and <path> while using this command.";
const std::string kNotAbsolute =
    "BU_CMD: /extract option specified without absolute path. Please specify <path> as "
    "absolute path.";
const std::string kListWarning =
    "BU_CMD: WARNING - BU is running in /extract mode. Hence /list mode should not be used.";
std::string extracting(const char* file, const char* path) {
  return std::string("BU_CMD: /extract option specified for file '") + file +
         "' and extract path '" + path + "'";
}

constexpr Mode F = Mode::Full;
constexpr Mode L = Mode::List;
constexpr Mode E = Mode::Extract;

const Case kCases[] = {
    {"NoArguments", "prog", 0, F, false, false, false, "", "", {}, Shown::Nothing},
    {"EmptyVariableIsProgramAlone", "", 0, F, false, false, false, "", "", {}, Shown::Nothing},
    {"ListUpperCase", "prog /LIST", 0, L, false, false, false, "", "", {kList}, Shown::Nothing},
    {"ListWithQuietIsRejectedAsPair", "prog /list /q", 112, F, false, false, false, "", "",
     {kRejected}, Shown::InvalidArguments},
    {"QuietWithListIsRejectedAsPair", "prog /q /list", 112, F, false, false, false, "", "",
     {kRejected}, Shown::InvalidArguments},
    {"QuietRollback", "prog /q /r", 0, F, true, true, false, "", "", {kQuiet, kRollback},
     Shown::Nothing},
    {"OemQuietEitherOrder", "prog /TVXOEM /Q", 0, F, true, false, true, "", "", {kOem, kQuiet},
     Shown::Nothing},
    {"RollbackOemPairRejected", "prog /r /tvxoem", 112, F, false, false, false, "", "",
     {kRejected}, Shown::InvalidArguments},
    {"QuietTwiceRejected", "prog /q /q", 112, F, false, false, false, "", "", {kRejected},
     Shown::InvalidArguments},
    {"HelpWithExtraArgumentRejected", "prog /? /q", 112, F, false, false, false, "", "",
     {kRejected}, Shown::InvalidArguments},
    {"Help", "prog /?", 113, F, false, false, false, "", "", {kHelp}, Shown::Help},
    {"HelpAfterQuietStillShown", "prog /q /r /tvxoem /?", 113, F, true, true, true, "", "",
     {kQuiet, kRollback, kOem, kHelp}, Shown::Help},
    {"ThreeArgumentsMustStartWithExtract", "prog /q /r /tvxoem", 112, F, false, false, false, "",
     "", {kRejected}, Shown::InvalidArguments},
    {"ExtractStoresFileLowerCasedPathAsGiven", "prog /EXTRACT App.RAR /Srv/Target", 0, E, false,
     false, false, "app.rar", "/Srv/Target", {extracting("app.rar", "/Srv/Target")},
     Shown::Nothing},
    {"ExtractRelativePath", "prog /extract a b", 112, F, false, false, false, "", "",
     {kNotAbsolute}, Shown::NotAbsolute},
    {"ExtractRelativePathQuietBefore", "prog /q /extract a b", 112, F, true, false, false, "", "",
     {kQuiet, kNotAbsolute}, Shown::Nothing},
    {"ExtractRelativePathQuietAfter", "prog /extract a b /q", 112, F, false, false, false, "", "",
     {kNotAbsolute}, Shown::NotAbsolute},
    {"ExtractDriveLetterIsNotAbsoluteHere", "prog /extract a d:", 112, F, false, false, false, "",
     "", {kNotAbsolute}, Shown::NotAbsolute},
    {"ExtractEmptyPath", "prog /extract a \"\"", 112, F, false, false, false, "", "", {kNoPath},
     Shown::InvalidArguments},
    {"ExtractAlone", "prog /extract", 112, F, false, false, false, "", "", {kMissing},
     Shown::InvalidArguments},
    {"ExtractMissingPathAfterFlags", "prog /q /r /extract a", 112, F, true, true, false, "", "",
     {kQuiet, kRollback, kMissing}, Shown::InvalidArguments},
    {"ListStopsTheScan", "prog /list /extract a /x", 0, L, false, false, false, "", "", {kList},
     Shown::Nothing},
    {"ListAfterExtract", "prog /extract a /x /list", 112, E, false, false, false, "a", "/x",
     {extracting("a", "/x"), kList, kListWarning}, Shown::InvalidArguments},
    {"AllFlagsThenList", "prog /q /r /tvxoem /list", 0, L, true, true, true, "", "",
     {kQuiet, kRollback, kOem, kList}, Shown::Nothing},
    {"UnknownOptionLowerCasedInLog", "prog /BOGUS", 112, F, false, false, false, "", "",
     {"BU_CMD: INVALID input arguments specified - /bogus"}, Shown::InvalidArguments},
    {"UnknownAfterValidFlags", "prog /q /r /tvxoem /zz", 112, F, true, true, true, "", "",
     {kQuiet, kRollback, kOem, "BU_CMD: INVALID input arguments specified - /zz"},
     Shown::InvalidArguments},
    {"FileMayLookLikeAnOption", "prog /extract /Q /dest", 0, E, false, false, false, "/q",
     "/dest", {extracting("/q", "/dest")}, Shown::Nothing},
    {"SecondExtractReplacesFirst", "prog /extract a /x /extract b /y", 0, E, false, false, false,
     "b", "/y", {extracting("a", "/x"), extracting("b", "/y")}, Shown::Nothing},
    {"QuotedArgumentsWithBlanks", "prog \"/extract\" \"My File.RAR\" \"/With Space/Dir\"", 0, E,
     false, false, false, "my file.rar", "/With Space/Dir",
     {extracting("my file.rar", "/With Space/Dir")}, Shown::Nothing},
    {"OnlyAsciiLettersAreLowered", "prog /extract \xC3\x84PP.rar /x", 0, E, false, false, false,
     "\xC3\x84pp.rar", "/x", {extracting("\xC3\x84pp.rar", "/x")}, Shown::Nothing},
    {"QuietThenExtract", "prog /q /extract a /x", 0, E, true, false, false, "a", "/x",
     {kQuiet, extracting("a", "/x")}, Shown::Nothing},
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class CommandLineGrammar : public ProgramTest, public ::testing::WithParamInterface<Case> {};

std::vector<Box> expectedBoxes(Shown shown) {
  const std::string caption = "Tarvenix Brevant Updater";
  auto text = [](unsigned id) {
    std::string narrow;
    for (wchar_t c : platform::loadString(nullptr, id, 780)) narrow += static_cast<char>(c);
    return narrow;
  };
  switch (shown) {
    case Shown::Help:
      return {{caption, "information", text(106), "OK"}};
    case Shown::InvalidArguments:
      return {{caption, "information", text(107), "OK"}};
    case Shown::NotAbsolute:
      return {{"BU Information", "information",
               "/extract option specified without absolute path. Please specify extraction "
               "directory as absolute path.",
               "OK"}};
    case Shown::Nothing:
      break;
  }
  return {};
}

TEST_P(CommandLineGrammar, ParsesAsSpecified) {
  const Case& c = GetParam();
  setenv("sfxcmd", c.sfxcmd, 1);
  StdioCapture capture;
  const int result = parseCommandLine(kTail);
  const std::vector<Box> boxes = parseBoxes(capture.finish());

  EXPECT_EQ(result, c.result);
  EXPECT_EQ(runOptions.mode, c.mode);
  EXPECT_EQ(runOptions.silent, c.silent);
  EXPECT_EQ(runOptions.rollback, c.rollback);
  EXPECT_EQ(runOptions.oem, c.oem);
  EXPECT_EQ(runOptions.extractFile, c.file);
  EXPECT_EQ(platform::wideToAnsi(runOptions.extractPath), c.path);
  EXPECT_EQ(logMessages(), c.log);
  EXPECT_EQ(boxes, expectedBoxes(c.box));
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineGrammar, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Without "sfxcmd" the process's own arguments are parsed. This test binary
// never hands its argv to the platform layer, so the list cannot be
// obtained: the one failure the splitting step reports.
TEST_F(ProgramTest, ArgumentListUnavailable) {
  StdioCapture capture;
  const int result = parseCommandLine("");
  const auto boxes = parseBoxes(capture.finish());
  EXPECT_EQ(result, 112);
  EXPECT_EQ(logMessages(),
            std::vector<std::string>{"BU Initialization failed. No commanline arguments specified."});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "BU Information");
  EXPECT_EQ(boxes[0].text, "BU Initialization failed. No commanline arguments specified.");
}

}  // namespace
}  // namespace bu::test
