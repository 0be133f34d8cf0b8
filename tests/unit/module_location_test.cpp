// Module location against the POSIX registry, a directory tree made per test
// under BU_REGISTRY_ROOT: the packaged/registry decision, every REG line and
// code, what a value file may hold, and the walk of the 64-bit detection.
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "config/update_entry.h"
#include "config_fixture.h"
#include "engine/module_location.h"
#include "platform/registry.h"
#include "platform/registry_posix.h"
#include "test_support.h"

namespace bu::test {
namespace {

namespace fs = std::filesystem;

const std::string kKey = "SOFTWARE\\Tarvenix\\BrevantUpdater\\LocalDLLs\\";
const std::string kOpened = "REG SUCCESS: Success while opening key " + kKey;
const std::string kFetched = "REG SUCCESS: Succeeded while fetching the path from registry.";
const std::string kNotFetched = "REG FAILURE: Failed while fetching the path from registry.";

std::string openFailed(int code) {
  return "REG FAILURE: Failed while opening the key " + kKey +
         " from registry. Return code: " + std::to_string(code);
}
std::string authPackaged(const std::string& name) {
  return "AUTH DLL LOCATION: The Authorization DLL " + name + " is expected to be packaged with BU.";
}
std::string deployPackaged(const std::string& name) {
  return "DEPLOY DLL LOCATION: The Deployment DLL " + name + " is expected to be packaged with BU.";
}
std::string authNotice(const std::string& name) {
  return "AUTH DLL LOCATION: BU will read the DLL location from registry - " + name;
}
std::string authNoticeShort(const std::string& name) {
  return "AUTH DLL LOCATION: BU will read the DLL " + name + " location from registry.";
}
std::string deployNotice(const std::string& name) {
  return "DEPLOY DLL LOCATION: BU will read the DLL location from registry - " + name;
}
std::string found(int entry) {
  return "AUTH DLL: DLL found for Entry number " + std::to_string(entry) + ".";
}

UpdateEntry entry(const std::string& authLocation, const std::string& authName,
                  const std::string& deployLocation = "package",
                  const std::string& deployName = "Deploy.dll") {
  return {"AuthType", "DeployType", "U.rar", "Update", authName, deployName, authLocation,
          deployLocation};
}

struct Value {
  std::string name;
  std::string bytes;
};

class ModuleLocation : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    root_ = temp_.path() + "/registry";
    setenv("BU_REGISTRY_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("BU_REGISTRY_ROOT");
    updateEntries.clear();
    if (fs::exists(keyDirectory())) fs::permissions(keyDirectory(), fs::perms::owner_all);
  }

  std::string keyDirectory() const { return root_ + "/SOFTWARE/Tarvenix/BrevantUpdater/LocalDLLs"; }
  void makeKey() const { fs::create_directories(keyDirectory()); }
  void writeValues(const std::vector<Value>& values) const {
    makeKey();
    for (const Value& value : values) {
      const fs::path file = keyDirectory() + "/" + value.name;
      fs::create_directories(file.parent_path());
      std::ofstream(file, std::ios::binary) << value.bytes;
    }
  }

  std::string root_;
};

const std::string kFull(8192, 'p');

struct ResolveCase {
  const char* what;
  UpdateEntry entry;
  ModuleKind kind;
  NoticeStyle style;
  bool keyExists;
  std::vector<Value> values;
  std::wstring path;
  std::vector<std::string> log;
};

const ResolveCase kResolveCases[] = {
    {"packaged authorization module: its bare name", entry("package", "Auth.dll"),
     ModuleKind::Authorization, NoticeStyle::FullRun, true, {{"Auth.dll", "/opt/Auth.dll"}},
     L"Auth.dll", {authPackaged("Auth.dll")}},
    {"empty location, relative directory: packaged, unchanged",
     entry("package", "Auth.dll", "", "sub\\Deploy.dll"), ModuleKind::Deployment,
     NoticeStyle::Short, false, {}, L"sub\\Deploy.dll", {deployPackaged("sub\\Deploy.dll")}},
    {"'local ' is packaged", entry("local ", "Auth.dll"), ModuleKind::Authorization,
     NoticeStyle::FullRun, false, {}, L"Auth.dll", {authPackaged("Auth.dll")}},
    {"authorization, full run notice", entry("local", "Auth.dll"), ModuleKind::Authorization,
     NoticeStyle::FullRun, true, {{"Auth.dll", "/opt/product/Auth.dll"}},
     L"/opt/product/Auth.dll", {authNotice("Auth.dll"), kOpened, kFetched}},
    {"authorization, short notice", entry("local", "Auth.dll"), ModuleKind::Authorization,
     NoticeStyle::Short, true, {{"Auth.dll", "/opt/product/Auth.dll"}}, L"/opt/product/Auth.dll",
     {authNoticeShort("Auth.dll"), kOpened, kFetched}},
    {"deployment: one notice for both styles",
     entry("package", "Auth.dll", "local", "Deploy.dll"), ModuleKind::Deployment,
     NoticeStyle::Short, true, {{"Deploy.dll", "/opt/product/Deploy.dll"}},
     L"/opt/product/Deploy.dll", {deployNotice("Deploy.dll"), kOpened, kFetched}},
    {"key absent: code 2, no query", entry("local", "Auth.dll"), ModuleKind::Authorization,
     NoticeStyle::FullRun, false, {}, L"", {authNotice("Auth.dll"), openFailed(2)}},
    {"value absent", entry("local", "Auth.dll"), ModuleKind::Authorization, NoticeStyle::FullRun,
     true, {{"Other.dll", "/opt/Other.dll"}}, L"", {authNotice("Auth.dll"), kOpened, kNotFetched}},
    {"names are case-sensitive", entry("local", "Auth.dll"), ModuleKind::Authorization,
     NoticeStyle::FullRun, true, {{"auth.dll", "/opt/auth.dll"}}, L"",
     {authNotice("Auth.dll"), kOpened, kNotFetched}},
    {"empty data: success, empty path", entry("local", "Auth.dll"), ModuleKind::Authorization,
     NoticeStyle::FullRun, true, {{"Auth.dll", ""}}, L"", {authNotice("Auth.dll"), kOpened, kFetched}},
    {"one trailing newline dropped", entry("local", "Auth.dll"), ModuleKind::Authorization,
     NoticeStyle::FullRun, true, {{"Auth.dll", "/opt/a b\n\n"}}, L"/opt/a b\n",
     {authNotice("Auth.dll"), kOpened, kFetched}},
    {"data ends at the first NUL", entry("local", "Auth.dll"), ModuleKind::Authorization,
     NoticeStyle::FullRun, true, {{"Auth.dll", std::string("/opt/a\0/b\n", 10)}}, L"/opt/a",
     {authNotice("Auth.dll"), kOpened, kFetched}},
    {"8192 bytes fit", entry("local", "Auth.dll"), ModuleKind::Authorization, NoticeStyle::FullRun,
     true, {{"Auth.dll", kFull}}, std::wstring(8192, L'p'), {authNotice("Auth.dll"), kOpened, kFetched}},
    {"8192 bytes and a newline fit", entry("local", "Auth.dll"), ModuleKind::Authorization,
     NoticeStyle::FullRun, true, {{"Auth.dll", kFull + "\n"}}, std::wstring(8192, L'p'),
     {authNotice("Auth.dll"), kOpened, kFetched}},
    {"8193 bytes are too many, even with a NUL early", entry("local", "Auth.dll"),
     ModuleKind::Authorization, NoticeStyle::FullRun, true,
     {{"Auth.dll", std::string("a\0", 2) + std::string(8191, 'p')}}, L"",
     {authNotice("Auth.dll"), kOpened, kNotFetched}},
    {"name '..' cannot name a value", entry("local", ".."), ModuleKind::Authorization,
     NoticeStyle::FullRun, true, {}, L"", {authNotice(".."), kOpened, kNotFetched}},
    {"a name with '/' cannot reach below the key", entry("local", "sub/Auth.dll"),
     ModuleKind::Authorization, NoticeStyle::FullRun, true, {{"sub/Auth.dll", "/opt/Auth.dll"}}, L"",
     {authNotice("sub/Auth.dll"), kOpened, kNotFetched}},
};

TEST_F(ModuleLocation, ResolvesEachCase) {
  for (const ResolveCase& c : kResolveCases) {
    SCOPED_TRACE(c.what);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    fs::remove(temp_.logPath(), ignored);
    if (c.keyExists) writeValues(c.values);
    updateEntries = {entry("package", "Unused.dll"), c.entry};
    EXPECT_EQ(resolveModulePath(1, c.kind, c.style), c.path);
    EXPECT_EQ(logMessages(), c.log);
  }
}

// A value must be a regular file of its own: a directory, a symbolic link
// (even to a regular file) or a pipe fails the query.
TEST_F(ModuleLocation, OnlyARegularFileIsAValue) {
  makeKey();
  const std::string target = temp_.path() + "/target";
  std::ofstream(target) << "/opt/Auth.dll";
  fs::create_directory(keyDirectory() + "/Directory.dll");
  fs::create_symlink(target, keyDirectory() + "/Link.dll");
  ASSERT_EQ(mkfifo((keyDirectory() + "/Pipe.dll").c_str(), 0600), 0);
  for (const char* name : {"Directory.dll", "Link.dll", "Pipe.dll"}) {
    SCOPED_TRACE(name);
    std::error_code ignored;
    fs::remove(temp_.logPath(), ignored);
    updateEntries = {entry("local", name)};
    EXPECT_EQ(readModulePathFromRegistry(0, ModuleKind::Authorization, false), L"");
    EXPECT_EQ(logMessages(), (std::vector<std::string>{kOpened, kNotFetched}));
  }
}

TEST_F(ModuleLocation, AKeyThatIsNoDirectoryIsAbsent) {
  fs::create_directories(fs::path(keyDirectory()).parent_path());
  std::ofstream(keyDirectory()) << "/opt/Auth.dll";
  updateEntries = {entry("local", "Auth.dll")};
  EXPECT_EQ(readModulePathFromRegistry(0, ModuleKind::Authorization, true), L"");
  EXPECT_EQ(logMessages(), std::vector<std::string>{openFailed(2)});
}

// Read as a user whom the permissions refuse (root reads whatever they say).
TEST_F(ModuleLocation, UnreadableKeyAndValue) {
  writeValues({{"Auth.dll", "/opt/Auth.dll"}});
  updateEntries = {entry("local", "Auth.dll")};
  fs::permissions(keyDirectory() + "/Auth.dll", fs::perms::none);
  const auto readsNothing = [] {
    return readModulePathFromRegistry(0, ModuleKind::Authorization, false).empty() ? 0 : 1;
  };
  EXPECT_EQ(runUnprivileged(temp_.path(), readsNothing), 0);
  fs::permissions(keyDirectory(), fs::perms::owner_exec);  // can be passed, not read
  EXPECT_EQ(runUnprivileged(temp_.path(), readsNothing), 0);
  EXPECT_EQ(logMessages(), (std::vector<std::string>{kOpened, kNotFetched, openFailed(5)}));
}

// An empty BU_REGISTRY_ROOT is no root: the default hive is read, never the
// current directory.
TEST_F(ModuleLocation, EmptyRootVariableMeansTheDefaultHive) {
  setenv("BU_REGISTRY_ROOT", "", 1);
  EXPECT_EQ(platform::registryRoot(), "/etc/brevant-updater/registry");
  unsetenv("BU_REGISTRY_ROOT");
  EXPECT_EQ(platform::registryRoot(), "/etc/brevant-updater/registry");
}

// Names and data are in the locale's character set.
TEST_F(ModuleLocation, EightBitNameAndDataInAUtf8Locale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  writeValues({{"Mod\xc3\xbcl.dll", "/opt/Caf\xc3\xa9/Mod\xc3\xbcl.dll\n"}});
  updateEntries = {entry("local", "Mod\xc3\xbcl.dll")};
  EXPECT_EQ(resolveModulePath(0, ModuleKind::Authorization, NoticeStyle::Short),
            L"/opt/Caf\u00e9/Mod\u00fcl.dll");
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(logMessages(),
            (std::vector<std::string>{authNoticeShort("Mod\xc3\xbcl.dll"), kOpened, kFetched}));
}

class ModuleLocationConfiguration : public ConfigurationTest {
 protected:
  void TearDown() override {
    unsetenv("BU_REGISTRY_ROOT");
    updateEntries.clear();
    ConfigurationTest::TearDown();
  }
};

// LOCAL in the file is stored lower-cased, so it goes to the registry.
TEST_F(ModuleLocationConfiguration, CapitalLocalFromTheFileReadsTheRegistry) {
  const std::string root = temp_.path() + "/registry";
  fs::create_directories(root + "/SOFTWARE/Tarvenix/BrevantUpdater/LocalDLLs");
  std::ofstream(root + "/SOFTWARE/Tarvenix/BrevantUpdater/LocalDLLs/AuthA.dll") << "/opt/AuthA.dll";
  setenv("BU_REGISTRY_ROOT", root.c_str(), 1);
  useConfiguration("location_letter_case.xml");
  TiXmlDocument document;
  ASSERT_EQ(loadConfigurationFile(document), 102);
  ASSERT_EQ(parseConfiguration(document), 0);
  EXPECT_EQ(resolveModulePath(0, ModuleKind::Authorization, NoticeStyle::FullRun),
            L"/opt/AuthA.dll");
}

struct WalkCase {
  const char* what;
  std::vector<UpdateEntry> entries;
  bool keyExists;
  std::vector<Value> values;
  std::wstring path;
  std::vector<std::string> log;
};

// Both views read the same tree here, so a miss in the 64-bit view is
// followed by a miss in the default view, and a hit comes on the first read.
const WalkCase kWalkCases[] = {
    {"no entries: nothing logged", {}, true, {}, L"", {}},
    {"a packaged first entry", {entry("package", "A.dll", "local", "D.dll")}, true,
     {{"D.dll", "/opt/D.dll"}}, L"A.dll", {authPackaged("A.dll"), found(0)}},
    {"a missing value, then one found on the first read",
     {entry("local", "Missing.dll"), entry("local", "B.dll"), entry("package", "C.dll")}, true,
     {{"B.dll", "/opt/B.dll"}}, L"/opt/B.dll",
     {authNoticeShort("Missing.dll"), kOpened, kNotFetched, kOpened, kNotFetched,
      authNoticeShort("B.dll"), kOpened, kFetched, found(1)}},
    {"an empty value counts as not found", {entry("local", "E.dll"), entry("package", "C.dll")},
     true, {{"E.dll", "\n"}}, L"C.dll",
     {authNoticeShort("E.dll"), kOpened, kFetched, kOpened, kFetched, authPackaged("C.dll"),
      found(1)}},
    {"key absent: two failed opens per entry, then nothing",
     {entry("local", "A.dll"), entry("local", "B.dll")}, false, {}, L"",
     {authNoticeShort("A.dll"), openFailed(2), openFailed(2), authNoticeShort("B.dll"),
      openFailed(2), openFailed(2)}},
};

TEST_F(ModuleLocation, FindsTheFirstResolvableAuthorizationModule) {
  for (const WalkCase& c : kWalkCases) {
    SCOPED_TRACE(c.what);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    fs::remove(temp_.logPath(), ignored);
    if (c.keyExists) writeValues(c.values);
    updateEntries = c.entries;
    EXPECT_EQ(findAuthorizationModulePath(), c.path);
    EXPECT_EQ(logMessages(), c.log);
  }
}

// The key is released on every path: failed and successful reads
// leave no descriptor open.
TEST_F(ModuleLocation, EveryReadClosesItsKey) {
  writeValues({{"A.dll", "/opt/A.dll"}});
  updateEntries = {entry("local", "A.dll"), entry("local", "Missing.dll")};
  const auto openDescriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const auto before = openDescriptors();
  for (int i = 0; i < 100; ++i) {
    readModulePathFromRegistry(static_cast<std::size_t>(i % 2), ModuleKind::Authorization, i % 4 < 2);
  }
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace bu::test
