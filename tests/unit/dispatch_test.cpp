// Which steps each mode runs and the exit code it ends with.
#include <ostream>
#include <string>
#include <vector>

#include "app/dispatch.h"
#include "config/result_codes.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "test_support.h"

namespace bu::test {
namespace {

struct Case {
  const char* name;
  Mode mode;
  int answer;         // the confirmation box's answer
  int configuration;  // checkConfiguration's result
  int work;           // the mode's own result
  int exitCode;
  std::vector<std::string> calls;
  std::vector<std::string> log;
};

const std::string kListLine =
    "BU MODE: BU is running is LIST mode. User has used the /list argument from command line.";
const std::string kExtractLine =
    "BU MODE: BU is running is EXTRACT mode. User has used the /extract argument from command "
    "line.";
const std::string kFullLine = "BU MODE: BU is running is FULL mode.";

const Case kCases[] = {
    {"ListRunsAfterGoodConfiguration", Mode::List, 0, 0, 0, 0, {"check(0)", "list"}, {kListLine}},
    {"ListStopsOnConfigurationError", Mode::List, 0, 103, 0, 103, {"check(0)"}, {kListLine}},
    {"ExtractExitsWithItsResult", Mode::Extract, 0, 0, 116, 116,
     {"check(0)", "extract(f,p)", "summary(116)"}, {kExtractLine}},
    {"ExtractSuccess", Mode::Extract, 0, 0, 0, 0, {"check(0)", "extract(f,p)", "summary(0)"},
     {kExtractLine}},
    {"ExtractStopsOnConfigurationError", Mode::Extract, 0, 101, 0, 101, {"check(0)"},
     {kExtractLine}},
    {"ExtractIgnoresOemMismatch", Mode::Extract, 0, 0, 0, 0,
     {"check(0)", "extract(f,p)", "summary(0)"}, {kExtractLine}},
    {"FullNotConfirmed", Mode::Full, platform::kBoxNo, 0, 0, 115, {"confirm"}, {kFullLine}},
    {"FullBoxFailedCountsAsRefusal", Mode::Full, platform::kBoxFailed, 0, 0, 115, {"confirm"},
     {kFullLine}},
    {"FullExitsZeroWhenEverythingFailed", Mode::Full, platform::kBoxYes, 0, 124, 0,
     {"confirm", "check(1)", "full", "summary(124)"}, {kFullLine}},
    {"FullExitsZeroWhenSomeFailed", Mode::Full, platform::kBoxYes, 0, 122, 0,
     {"confirm", "check(1)", "full", "summary(122)"}, {kFullLine}},
    {"FullSuccess", Mode::Full, platform::kBoxYes, 0, 0, 0,
     {"confirm", "check(1)", "full", "summary(0)"}, {kFullLine}},
    {"FullOemMismatchReportedWithSummary", Mode::Full, platform::kBoxYes, 125, 0, 125,
     {"confirm", "check(1)", "summary(125)"},
     {kFullLine, "ERROR occurred due to incompatibility. Error code: 125"}},
    {"FullConfigurationErrorWithoutSummary", Mode::Full, platform::kBoxYes, 122, 0, 122,
     {"confirm", "check(1)"}, {kFullLine}},
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class Dispatch : public ProgramTest, public ::testing::WithParamInterface<Case> {};

TEST_P(Dispatch, RunsTheModeAndReturnsItsExitCode) {
  const Case& c = GetParam();
  std::vector<std::string> calls;
  ModeSteps steps;
  steps.confirmDeployment = [&] {
    calls.push_back("confirm");
    return c.answer;
  };
  steps.checkConfiguration = [&](bool oem) {
    calls.push_back("check(" + std::to_string(oem) + ")");
    return c.configuration;
  };
  steps.listUpdates = [&] {
    calls.push_back("list");
    return c.work;
  };
  steps.runExtraction = [&](const std::string& file, const std::wstring& path) {
    calls.push_back("extract(" + file + "," + platform::wideToAnsi(path) + ")");
    return c.work;
  };
  steps.runFullDeployment = [&] {
    calls.push_back("full");
    return c.work;
  };
  steps.showSummary = [&](int result) { calls.push_back("summary(" + std::to_string(result) + ")"); };

  RunOptions options;
  options.mode = c.mode;
  options.extractFile = "f";
  options.extractPath = L"p";

  EXPECT_EQ(dispatchMode(options, steps), c.exitCode);
  EXPECT_EQ(calls, c.calls);
  EXPECT_EQ(logMessages(), c.log);
}

INSTANTIATE_TEST_SUITE_P(Modes, Dispatch, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace bu::test
