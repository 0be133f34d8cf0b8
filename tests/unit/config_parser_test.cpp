// buConfig.xml through the real TinyXML reader: one fixture per case, with the
// result codes, the entries kept, the OEM flag and the log lines.
#include <tinyxml.h>

#include <cctype>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "config/configuration.h"
#include "config/update_entry.h"
#include "config_fixture.h"

namespace bu::test {
namespace {

const std::string kLoaded =
    "CONFIG LOAD SUCCESS: Successfully loaded the configuration file: buConfig.xml.";
const std::string kNotLoaded =
    "CONFIG LOAD FAILED: FAILED to load the configuration file buconfig.xml. Please check that "
    "the file is present and it is a valid XML file.";
const std::string kNoRoot =
    "CONGIF INVALID_SYNTAX: INVALID buConfig.xml format. Wrong root element identified..";
const std::string kNoInfo =
    "BU INFO: BU file-name and creation-date are not defined in the config file.";
const std::string kOemSet = "\tBU INFO: run-oem-only has been set to yes";
const std::string kPackageInfo[] = {"\tBU INFO: File-name : Package1",
                                    "\tBU INFO: Creation-date : 03/01/2017"};
const std::string kUndefinedInfo[] = {"\tBU INFO: File-name : Un-defined",
                                      "\tBU INFO: Creation-date : Un-defined"};

std::vector<std::string> ignored(const std::string& name) {
  return {"IGNORE ENTRY: Entry for '" + name +
              "' is not complete. Some required fields are missing. Ignoring this entry.",
          "Failed while deploying '" + name +
              "', because one or more required fields are missing in the buConfig.xml file."};
}

// An entry as one line, fields in the order of the listing's log block.
std::string summary(const UpdateEntry& e) {
  return e.updateFile + "|" + e.updateDescription + "|" + e.authDllName + "|" +
         e.authDllLocation + "|" + e.authContentType + "|" + e.deployContentType + "|" +
         e.deployDllName + "|" + e.deployDllLocation;
}

// The fixtures' regular product, named by one letter.
std::string product(char x) {
  const std::string s(1, x);
  return s + ".rar|Update " + s + "|Auth" + s + ".dll|local|Auth" + s + "|Deploy" + s + "|Deploy" +
         s + ".dll|package";
}

std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::vector<std::string> kInfo(std::begin(kPackageInfo), std::end(kPackageInfo));
const std::vector<std::string> kUndefined(std::begin(kUndefinedInfo), std::end(kUndefinedInfo));

struct Case {
  const char* fixture;  // null: no buConfig.xml at all
  int loaded;
  int parsed;  // only when loaded is 102
  bool runOemOnly;
  std::vector<std::string> entries;
  std::vector<std::string> log;  // after the load line
};

void PrintTo(const Case& c, std::ostream* out) { *out << (c.fixture ? c.fixture : "(missing)"); }

const Case kCases[] = {
    {"two_products.xml", 102, 0, false, {product('A'), product('B')}, kInfo},
    {"root_with_another_name.xml", 102, 0, false, {product('A')}, kInfo},
    {"several_top_level_elements.xml", 102, 0, false, {product('A')}, kInfo},
    {"info_missing.xml", 102, 0, false, {product('A')}, {kNoInfo}},
    {"info_empty_file_name.xml", 102, 0, false, {product('A')}, kUndefined},
    {"run_oem_only_upper_case_yes.xml", 102, 0, true, {product('A')}, join({{kOemSet}, kInfo})},
    {"run_oem_only_true.xml", 102, 0, false, {product('A')}, kInfo},
    {"run_oem_only_empty.xml", 102, 0, false, {product('A')}, kInfo},
    {"zero_products.xml", 102, 0, false, {}, kInfo},
    {"later_namesakes_ignored.xml", 102, 0, false, {product('A')},
     {"\tBU INFO: File-name : Package1", kUndefinedInfo[1]}},
    {"namesake_text_hides_element.xml", 102, 0, false, {}, {kNoInfo}},
    {"incomplete_named_by_update_file.xml", 102, 122, false, {product('B')},
     join({{kNoInfo}, ignored("A.rar")})},
    {"incomplete_named_by_description.xml", 102, 122, false, {product('A'), product('C')},
     join({{kNoInfo}, ignored("Update B")})},
    {"incomplete_named_by_auth_content_type.xml", 102, 122, false, {},
     join({{kNoInfo}, ignored("AuthA")})},
    {"incomplete_named_by_deploy_content_type.xml", 102, 122, false, {},
     join({{kNoInfo}, ignored("DeployA")})},
    {"incomplete_not_named.xml", 102, 122, false, {product('B')}, {kNoInfo}},
    {"element_names_case_sensitive.xml", 102, 122, false, {},
     join({{kNoInfo}, ignored("Update B")})},
    {"comment_before_text.xml", 102, 122, false, {}, join({{kNoInfo}, ignored("Update A")})},
    {"nested_products_ignored.xml", 102, 0, false, {product('A')}, {kNoInfo}},
    {"location_letter_case.xml", 102, 0, false,
     {"A.rar|Update A|AuthA.dll|local|AuthA|DeployA|DeployA.dll|package-\xC0"}, {kNoInfo}},
    {"cdata_values.xml", 102, 0, false,
     {"A.rar|Fixes <crash> & \"hang\"|AuthA.dll|local||DeployA|DeployA.dll|package"}, {kNoInfo}},
    {"declaration_only.xml", 102, 103, false, {}, {kNoRoot}},
    {"comment_only.xml", 102, 103, false, {}, {kNoRoot}},
    {"not_well_formed.xml", 101, 0, false, {}, {}},
    {"not_text.bin", 101, 0, false, {}, {}},
    {nullptr, 101, 0, false, {}, {}},
};

class ConfigurationCorpus : public ConfigurationTest, public ::testing::WithParamInterface<Case> {};

TEST_P(ConfigurationCorpus, ReadsTheFileAsTheSchemaSays) {
  const Case& c = GetParam();
  useConfiguration(c.fixture);
  // Left-overs of an earlier load must not survive this one.
  updateEntries.assign(3, UpdateEntry{});
  runOemOnly = true;

  TiXmlDocument document;
  ASSERT_EQ(loadConfigurationFile(document), c.loaded);
  std::vector<std::string> expectedLog = {c.loaded == 102 ? kLoaded : kNotLoaded};
  if (c.loaded == 102) {
    EXPECT_EQ(parseConfiguration(document), c.parsed);
    expectedLog.insert(expectedLog.end(), c.log.begin(), c.log.end());
  }

  std::vector<std::string> entries;
  for (const UpdateEntry& entry : updateEntries) entries.push_back(summary(entry));
  EXPECT_EQ(entries, c.entries);
  EXPECT_EQ(runOemOnly, c.runOemOnly);
  EXPECT_EQ(logMessages(), expectedLog);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ConfigurationCorpus, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                           std::string name = info.param.fixture ? info.param.fixture : "missing";
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

class Configuration : public ConfigurationTest {
 protected:
  int loadAndParse() {
    TiXmlDocument document;
    const int loaded = loadConfigurationFile(document);
    return loaded == 102 ? parseConfiguration(document) : loaded;
  }
};

TEST_F(Configuration, LoadingTwiceKeepsOneCopyOfEachEntry) {
  useConfiguration("two_products.xml");
  ASSERT_EQ(loadAndParse(), 0);
  ASSERT_EQ(loadAndParse(), 0);
  EXPECT_EQ(updateEntries.size(), 2u);
}

TEST_F(Configuration, FailedLoadForgetsTheEarlierEntriesAndOemSetting) {
  useConfiguration("run_oem_only_upper_case_yes.xml");
  ASSERT_EQ(loadAndParse(), 0);
  ASSERT_TRUE(runOemOnly);
  useConfiguration("not_well_formed.xml");
  EXPECT_EQ(loadAndParse(), 101);
  EXPECT_TRUE(updateEntries.empty());
  EXPECT_FALSE(runOemOnly);
}

// What the package check reports of each product left out: its place among
// the products, the name the log gives it, and every value it lacks.
TEST_F(Configuration, LeftOutProductsAreNamedWithWhatTheyLack) {
  const std::string all =
      "update-file update-description auth-dll-info/content-type auth-dll-info/location "
      "auth-dll-info/dll-name deploy-dll-info/content-type deploy-dll-info/location "
      "deploy-dll-info/dll-name";
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"two_products.xml", {}},
      {"incomplete_named_by_update_file.xml", {"1 'A.rar': deploy-dll-info/dll-name"}},
      {"incomplete_not_named.xml",
       {"1 '': update-file update-description auth-dll-info/content-type "
        "deploy-dll-info/content-type deploy-dll-info/location deploy-dll-info/dll-name",
        "2 '': " + all}},
      {"element_names_case_sensitive.xml", {"1 'Update B': update-file"}},
  };
  for (const auto& [fixture, expected] : cases) {
    SCOPED_TRACE(fixture);
    useConfiguration(fixture);
    TiXmlDocument document;
    ASSERT_EQ(loadConfigurationFile(document), 102);
    std::vector<std::string> found;
    for (const LeftOutProduct& product : leftOutProducts(document)) {
      std::string line = std::to_string(product.position) + " '" + product.name + "':";
      for (const std::string& value : product.missing) line += " " + value;
      found.push_back(line);
    }
    EXPECT_EQ(found, expected);
  }
}

// A directory is opened like a file on POSIX; its length reads as enormous
// and must not reach TinyXML's buffer allocation.
TEST_F(Configuration, DirectoryOfThatNameIsNotLoaded) {
  std::filesystem::create_directory("buConfig.xml");
  EXPECT_EQ(loadAndParse(), 101);
  EXPECT_EQ(logMessages(), std::vector<std::string>{kNotLoaded});
}

}  // namespace
}  // namespace bu::test
