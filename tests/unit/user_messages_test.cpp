// Which text each box shows, and which boxes silent mode suppresses.
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "app/user_messages.h"
#include "platform/file_path.h"
#include "platform/message_box.h"
#include "platform/string_module_posix.h"
#include "platform/string_resource.h"
#include "test_support.h"

namespace bu::test {
namespace {

struct TextCase {
  int code;
  unsigned summary;
  unsigned configurationError;
};

void PrintTo(const TextCase& c, std::ostream* out) { *out << "code " << c.code; }

class TextSelection : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextSelection, PicksTheStringTableText) {
  EXPECT_EQ(summaryTextId(GetParam().code), GetParam().summary);
  EXPECT_EQ(configurationErrorTextId(GetParam().code), GetParam().configurationError);
}

INSTANTIATE_TEST_SUITE_P(Codes, TextSelection,
                         ::testing::Values(TextCase{0, 108, 105}, TextCase{101, 109, 103},
                                           TextCase{103, 109, 104}, TextCase{116, 109, 105},
                                           TextCase{122, 109, 105}, TextCase{124, 110, 105},
                                           TextCase{125, 111, 105}, TextCase{111, 109, 105}));

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string table(unsigned id) { return narrow(platform::loadString(nullptr, id, 780)); }

const char kCaption[] = "Tarvenix Brevant Updater";

TEST_F(ProgramTest, ConfirmationShowsVersionAndAnswers) {
  for (const auto& [input, answer] : std::vector<std::pair<std::string, int>>{
           {"y\n", platform::kBoxYes},
           {"YES\n", platform::kBoxYes},
           {"n\n", platform::kBoxNo},
           {"yess\n", platform::kBoxNo},
           {"", platform::kBoxNo}}) {
    StdioCapture capture(input);
    EXPECT_EQ(confirmDeployment(), answer) << input;
    const auto boxes = parseBoxes(capture.finish());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (Box{kCaption, "none",
                             "Tarvenix Brevant Updater\nVersion 5.1.7.9" + table(101), "Yes/No"}));
  }
}

TEST_F(ProgramTest, EveryBoxWithItsCaptionTextAndIcon) {
  StdioCapture capture;
  showHelp();
  showInvalidArguments();
  showConfigurationError(101);
  showConfigurationError(103);
  showConfigurationError(122);
  showSummary(0);
  showSummary(125);
  showInformation(L"Following: \n\n%ls|%d", L"list", 7);
  const std::vector<Box> expected = {
      {kCaption, "information", table(106), "OK"},
      {kCaption, "information", table(107), "OK"},
      {kCaption, "error", table(103), "OK"},
      {kCaption, "error", table(104), "OK"},
      {kCaption, "error", table(105), "OK"},
      {kCaption, "none", table(108), "OK"},
      {kCaption, "none", "", "OK"},  // the program's own 111 is empty
      {"BU Information", "information", "Following: \n\nlist|7", "OK"},
  };
  EXPECT_EQ(parseBoxes(capture.finish()), expected);
}

TEST_F(ProgramTest, SilentModeKeepsOnlyHelpAndInvalidArguments) {
  runOptions.silent = true;
  StdioCapture capture;
  EXPECT_EQ(confirmDeployment(), platform::kBoxYes);
  showConfigurationError(101);
  showSummary(0);
  showInformation(L"%ls", L"hidden");
  showHelp();
  showInvalidArguments();
  const auto boxes = parseBoxes(capture.finish());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, table(106));
  EXPECT_EQ(boxes[1].text, table(107));
}

TEST_F(ProgramTest, InformationHasNoLengthLimit) {
  const std::wstring longText(100000, L'x');
  StdioCapture capture;
  showInformation(L"[%ls]", longText.c_str());
  const auto boxes = parseBoxes(capture.finish());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "[" + std::string(100000, 'x') + "]");
}

class ResourceModule : public PackageTest {
 protected:
  // A well-formed string module whose every text differs from the program's.
  static std::vector<unsigned char> otherTable() {
    std::vector<std::pair<unsigned, std::u16string>> texts;
    for (unsigned id = 101; id <= 111; ++id) texts.emplace_back(id, u"tekst " + to16(id));
    return platform::encodeStringModule(texts);
  }
  static std::u16string to16(unsigned id) {
    const std::string digits = std::to_string(id);
    return std::u16string(digits.begin(), digits.end());
  }
  static std::string other(unsigned id) { return "tekst " + std::to_string(id); }
  static void writeFile(const char* name, const std::vector<unsigned char>& bytes) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
};

TEST_F(ResourceModule, MissingOrUnsignedModuleKeepsTheOwnTable) {
  const std::vector<std::string> refused = {
      "BU RES TVXSIGNED FAILED: External BU resource DLL buResource DLL is not Tarvenix Signed. "
      "Using the internal resource file.."};
  const std::vector<std::string> missing = {
      "AUTH TVXSIGNED BEGIN: Started.",
      "AUTH TVXSIGNED: File handle is invalid, returning FALSE.", refused[0]};
  loadResourceModule(nullptr);
  EXPECT_EQ(resourceModule, nullptr);
  EXPECT_EQ(logMessages(), missing);

  const std::vector<unsigned char> table = otherTable();
  writeFile("buResource.dll", table);
  std::filesystem::remove(temp_.logPath());
  loadResourceModule(nullptr);
  EXPECT_EQ(resourceModule, nullptr);
  const std::vector<std::string> unsigned_ = {
      "AUTH TVXSIGNED BEGIN: Started.", "AUTH TVXSIGNED: Provider is unknown, returning FALSE.",
      refused[0]};
  EXPECT_EQ(logMessages(), unsigned_);
}

TEST_F(ResourceModule, LoadedModuleGivesEveryBoxItsTexts) {
  const std::vector<unsigned char> table = otherTable();
  writeFile("table.dat", table);
  resourceModule = platform::loadStringModule(platform::PinnedFile::open(L"table.dat"));
  ASSERT_NE(resourceModule, nullptr);

  StdioCapture capture("n\n");
  confirmDeployment();
  showHelp();
  showInvalidArguments();
  showConfigurationError(101);
  showConfigurationError(103);
  showConfigurationError(122);
  for (const int result : {0, 122, 124, 125}) showSummary(result);
  const std::string caption = other(102);
  const std::vector<Box> expected = {
      {caption, "none", "Tarvenix Brevant Updater\nVersion 5.1.7.9" + other(101), "Yes/No"},
      {caption, "information", other(106), "OK"},
      {caption, "information", other(107), "OK"},
      {caption, "error", other(103), "OK"},
      {caption, "error", other(104), "OK"},
      {caption, "error", other(105), "OK"},
      {caption, "none", other(108), "OK"},
      {caption, "none", other(109), "OK"},
      {caption, "none", other(110), "OK"},
      {caption, "none", other(111), "OK"},
  };
  EXPECT_EQ(parseBoxes(capture.finish()), expected);
}

}  // namespace
}  // namespace bu::test
