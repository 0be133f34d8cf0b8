// The OEM comparison of the configuration check: full runs only. (Its boxes
// and log lines for each configuration error are end-to-end scenarios.)
#include <ostream>
#include <string>

#include "app/configuration_check.h"
#include "app/run_options.h"
#include "config_fixture.h"

namespace bu::test {
namespace {

struct OemCase {
  const char* name;
  const char* fixture;
  bool checkOem;  // true for full runs only
  bool oemSwitch;
  int result;
};

void PrintTo(const OemCase& c, std::ostream* out) { *out << c.name; }

const OemCase kOemCases[] = {
    {"FullRunOfOemPackageWithoutSwitch", "run_oem_only_upper_case_yes.xml", true, false, 125},
    {"FullRunOfOemPackageWithSwitch", "run_oem_only_upper_case_yes.xml", true, true, 0},
    {"FullRunOfOrdinaryPackageWithSwitch", "two_products.xml", true, true, 125},
    {"FullRunOfOrdinaryPackageWithoutSwitch", "two_products.xml", true, false, 0},
    {"ListOrExtractOfOemPackageWithoutSwitch", "run_oem_only_upper_case_yes.xml", false, false, 0},
    {"ListOrExtractOfOrdinaryPackageWithSwitch", "two_products.xml", false, true, 0},
};

class OemComparison : public ConfigurationTest, public ::testing::WithParamInterface<OemCase> {};

// The mismatch is only answered here: the full mode logs and reports it.
TEST_P(OemComparison, OnlyFullRunsCompareTheSwitchWithThePackage) {
  const OemCase& c = GetParam();
  useConfiguration(c.fixture);
  runOptions.oem = c.oemSwitch;
  StdioCapture capture;
  EXPECT_EQ(checkConfiguration(c.checkOem), c.result);
  EXPECT_TRUE(parseBoxes(capture.finish()).empty());
  for (const std::string& line : logMessages()) EXPECT_EQ(line.find("ERROR"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Packages, OemComparison, ::testing::ValuesIn(kOemCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace bu::test
