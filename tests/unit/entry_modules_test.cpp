// The module contract against the real test modules (tests/modules), signed
// by the test PKI: which factory is called, which slots receive which
// arguments, every code and log line, the release rules, and that a module
// is verified before anything of it runs. The modules trace their calls and
// their loading to a file; the load marker proves what was never loaded.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "modules/entry_modules.h"
#include "platform/text.h"
#include "test_support.h"

namespace bu::test {
namespace {

using Lines = std::vector<std::string>;

const Lines kVerified = {
    "AUTH TVXSIGNED BEGIN: Started.",
    "AUTH TVXSIGNED CLASS3 BEGIN: Entering CriticalSection Initialization .",
    "AUTH TVXSIGNED CLASS3: Finding code signing : TRUE.",
    "AUTH TVXSIGNED END: Finished processing. Returns TRUE"};
const Lines kRefused = {"AUTH TVXSIGNED BEGIN: Started.",
                        "AUTH TVXSIGNED: Provider is unknown, returning FALSE."};

// The module files: signed, as built, signed but no loadable module, absent.
enum class File { Signed, Unsigned, Unloadable, Missing };

std::string modulePath(File file, const std::string& name) {
  const std::string base = BU_MODULE_FIXTURES_DIR;
  switch (file) {
    case File::Signed:
      return base + "/signed/" + name;
    case File::Unsigned:
      return base + "/unsigned/" + name;
    case File::Unloadable:
      return base + "/unloadable/" + name;
    case File::Missing:
      break;
  }
  return base + "/missing/" + name;
}

// `line` with "{auth}" and "{deploy}" replaced by the modules' paths.
std::string fill(std::string line, const std::string& auth, const std::string& deploy) {
  for (const auto& [mark, path] : {std::pair<std::string, std::string>{"{auth}", auth},
                                   std::pair<std::string, std::string>{"{deploy}", deploy}}) {
    if (const auto at = line.find(mark); at != std::string::npos) line.replace(at, mark.size(), path);
  }
  return line;
}

Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Lines authLoaded(const std::string& path) {
  return kVerified +
         Lines{"AUTH TVXSIGNED SUCCESS: Successfully verified Tarvenix Signature for the "
               "authorization dll " + path,
               "AUTH LOAD SUCCESS: Successfully loaded the authorization dll - " + path};
}

Lines deployLoaded(const std::string& path) {
  return kVerified +
         Lines{"DEPLOY TVXSIGNED SUCCESS: Successfully verified Tarvenix Signature for the "
               "deployment dll " + path,
               "DEPLOY LOAD SUCCESS: Successfully loaded the deployment dll - " + path};
}

class ModuleContract : public PackageTest {
 protected:
  void SetUp() override {
    PackageTest::SetUp();
    setenv("SSL_CERT_FILE", BU_TRUST_PKI_DIR "/root.pem", 1);
    setenv("SSL_CERT_DIR", BU_TRUST_PKI_DIR, 1);
    tracePath_ = temp_.path() + "/trace.txt";
    setenv("BU_MODULE_TRACE", tracePath_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("BU_MODULE_TRACE");
    PackageTest::TearDown();
  }

  Lines trace() const {
    Lines lines;
    std::ifstream in(tracePath_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::string tracePath_;
};

// Both modules load; the cases differ in the modules' versions and answers.
struct CallCase {
  const char* name;
  const char* auth;
  const char* deploy;
  const char* authType;
  const char* deployType;
  bool rollback;
  bool oem;
  std::vector<int> codes;  // authorizeAndLocate, then postProcess if that ran
  std::string deploymentPath;
  Lines calls;  // the trace between the two load markers and the two unload markers
  Lines log;    // after the two modules' load lines; "{deploy}" stands for its path
};

void PrintTo(const CallCase& c, std::ostream* out) { *out << c.name; }

const std::string kAuthorized =
    "AUTHORIZATION SUCCESSFUL: Update1.rar is successfully authorized for deployment.";
const std::string kPostProcessed =
    "POST PROCESS SUCCESS: Successfully performed post processing for Update1.rar";
const std::string kReleaseDeploy2 =
    "Calling ReleaseInstance() on the object of IBrevantUpdaterDeploymentManager2.";
const std::string kReleaseAuth2 =
    "Calling ReleaseInstance() on the object of IBrevantUpdaterAuthorizationManager2.";
const std::string kAuthNull =
    "AUTH INTERFACE ERROR: Failure occurred while retrieving a referance to the Authorization "
    "Manager object.";

std::string deployedAt(const std::string& path) {
  return "DEPLOY PATH SUCCESS: Update1.rar will be deployed at location " + path;
}

std::string alphabetRepeated(std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('A' + i % 26);
  return text;
}

const CallCase kCallCases[] = {
    {"Version1Both", "TestAuth1", "TestDeploy1", "auth=0", "path=/srv/one", true, true, {0, 0},
     "/srv/one",
     {"TestAuth1 CreateAuthorizationManagerInstance", "TestAuth1 SetContentType auth=0",
      "TestAuth1 Authorize -> 0", "TestDeploy1 CreateDeploymentManagerInstance",
      "TestDeploy1 SetContentType path=/srv/one",
      "TestDeploy1 GetDeploymentPath capacity=260 rollback=1 zeroed=1",
      "TestDeploy1 PostProcess rollback=1 -> 0"},
     {kAuthorized, deployedAt("/srv/one"), kPostProcessed}},
    {"Version2BothReleasedDeploymentFirst", "TestAuth2", "TestDeploy2", "auth=0", "path=/srv/two",
     false, true, {0, 0}, "/srv/two",
     {"TestAuth2 CreateAuthorizationManager2Instance", "TestAuth2 SetContentType auth=0",
      "TestAuth2 Authorize -> 0", "TestDeploy2 CreateDeploymentManager2Instance",
      "TestDeploy2 SetContentType path=/srv/two",
      "TestDeploy2 GetDeploymentPath capacity=260 rollback=0 zeroed=1",
      "TestDeploy2 PostProcess rollback=0 -> 0", "TestDeploy2 ReleaseInstance",
      "TestAuth2 ReleaseInstance"},
     {kAuthorized, deployedAt("/srv/two"), kPostProcessed, kReleaseDeploy2, kReleaseAuth2}},
    {"Version3PostProcessesWithBothFlagsUnreleased", "TestAuth2", "TestDeploy3", "auth=0",
     "path=/srv/three", false, true, {0, 0}, "/srv/three",
     {"TestAuth2 CreateAuthorizationManager2Instance", "TestAuth2 SetContentType auth=0",
      "TestAuth2 Authorize -> 0", "TestDeploy3 CreateDeploymentManager3Instance",
      "TestDeploy3 SetContentType path=/srv/three",
      "TestDeploy3 GetDeploymentPath capacity=260 rollback=0 zeroed=1",
      "TestDeploy3 PostProcess3 rollback=0 oem=1 -> 0", "TestAuth2 ReleaseInstance"},
     {kAuthorized, deployedAt("/srv/three"), kPostProcessed, kReleaseAuth2}},
    {"EveryFactoryExportedNewestOnlyCalled", "TestAuthBoth", "TestDeployAll", "auth=0", "path=/a",
     true, false, {0, 0}, "/a",
     {"TestAuthBoth CreateAuthorizationManager2Instance", "TestAuthBoth SetContentType auth=0",
      "TestAuthBoth Authorize -> 0", "TestDeployAll CreateDeploymentManager3Instance",
      "TestDeployAll SetContentType path=/a",
      "TestDeployAll GetDeploymentPath capacity=260 rollback=1 zeroed=1",
      "TestDeployAll PostProcess3 rollback=1 oem=0 -> 0", "TestAuthBoth ReleaseInstance"},
     {kAuthorized, deployedAt("/a"), kPostProcessed, kReleaseAuth2}},
    {"NoAuthorizationFactory", "TestAuthNone", "TestDeploy2", "auth=0", "path=/a", false, false,
     {108}, "", {},
     {"AUTH INTERFACE ERROR: Authorization interface not implemented properly."}},
    {"Version2AuthorizationFactoryNullNoFallback", "TestAuthNull2", "TestDeploy2", "auth=0",
     "path=/a", false, false, {108}, "", {"TestAuthNull2 CreateAuthorizationManager2Instance"},
     {kAuthNull}},
    {"Version1AuthorizationFactoryNull", "TestAuthNull1", "TestDeploy2", "auth=0", "path=/a",
     false, false, {108}, "", {"TestAuthNull1 CreateAuthorizationManagerInstance"}, {kAuthNull}},
    {"NotAuthorized", "TestAuth2", "TestDeploy2", "auth=104", "path=/a", false, false, {104}, "",
     {"TestAuth2 CreateAuthorizationManager2Instance", "TestAuth2 SetContentType auth=104",
      "TestAuth2 Authorize -> 104", "TestAuth2 ReleaseInstance"},
     {"AUTHORIZATION FAILED: Update1.rar is not authorized for deployment. Error code : 104",
      kReleaseAuth2}},
    {"NoDeploymentFactory", "TestAuth1", "TestDeployNone", "auth=0", "path=/a", false, false,
     {121}, "",
     {"TestAuth1 CreateAuthorizationManagerInstance", "TestAuth1 SetContentType auth=0",
      "TestAuth1 Authorize -> 0"},
     {kAuthorized, "DEPLOY INTERFACE ERROR: Deployment interface not implemented properly."}},
    {"Version3DeploymentFactoryNullNoFallback", "TestAuth1", "TestDeployNull3", "auth=0",
     "path=/a", false, false, {121}, "",
     {"TestAuth1 CreateAuthorizationManagerInstance", "TestAuth1 SetContentType auth=0",
      "TestAuth1 Authorize -> 0", "TestDeployNull3 CreateDeploymentManager3Instance"},
     {kAuthorized,
      "DEPLOY INTERFACE ERROR: Failure occurred while retrieving a referance to the Deployment "
      "Manager 3 object."}},
    {"Version2DeploymentFactoryNull", "TestAuth1", "TestDeployNull2", "auth=0", "path=/a", false,
     false, {121}, "",
     {"TestAuth1 CreateAuthorizationManagerInstance", "TestAuth1 SetContentType auth=0",
      "TestAuth1 Authorize -> 0", "TestDeployNull2 CreateDeploymentManager2Instance"},
     {kAuthorized,
      "DEPLOY INTERFACE ERROR: Failure occurred while retrieving a referance to the Deployment "
      "Manager 2 object."}},
    {"Version1DeploymentFactoryNull", "TestAuth1", "TestDeployNull1", "auth=0", "path=/a", false,
     false, {121}, "",
     {"TestAuth1 CreateAuthorizationManagerInstance", "TestAuth1 SetContentType auth=0",
      "TestAuth1 Authorize -> 0", "TestDeployNull1 CreateDeploymentManagerInstance"},
     {kAuthorized,
      "DEPLOY INTERFACE ERROR: Failure occurred while retrieving a referance to the Deployment "
      "Manager object."}},
    {"DeploymentPathRefused", "TestAuth1", "TestDeploy2", "auth=0", "pathcode=7", false, false,
     {7}, "",
     {"TestAuth1 CreateAuthorizationManagerInstance", "TestAuth1 SetContentType auth=0",
      "TestAuth1 Authorize -> 0", "TestDeploy2 CreateDeploymentManager2Instance",
      "TestDeploy2 SetContentType pathcode=7",
      "TestDeploy2 GetDeploymentPath capacity=260 rollback=0 zeroed=1",
      "TestDeploy2 ReleaseInstance"},
     {kAuthorized,
      "DEPLOYMENT FAILED: Failed while retrieving deployment path from {deploy}. Error code : 7",
      kReleaseDeploy2}},
    {"PostProcessingFails", "TestAuth1", "TestDeploy1", "auth=0", "path=/a;post=9", false, true,
     {0, 9}, "/a",
     {"TestAuth1 CreateAuthorizationManagerInstance", "TestAuth1 SetContentType auth=0",
      "TestAuth1 Authorize -> 0", "TestDeploy1 CreateDeploymentManagerInstance",
      "TestDeploy1 SetContentType path=/a;post=9",
      "TestDeploy1 GetDeploymentPath capacity=260 rollback=0 zeroed=1",
      "TestDeploy1 PostProcess rollback=0 -> 9"},
     {kAuthorized, deployedAt("/a"),
      "POST PROCESS FAILURE: Failure reported while post processing Update1.rar"}},
    {"PathWithoutTerminatorTakesTheWholeBuffer", "TestAuth1", "TestDeploy3", "auth=0", "noterm",
     false, false, {0, 0}, alphabetRepeated(260),
     {"TestAuth1 CreateAuthorizationManagerInstance", "TestAuth1 SetContentType auth=0",
      "TestAuth1 Authorize -> 0", "TestDeploy3 CreateDeploymentManager3Instance",
      "TestDeploy3 SetContentType noterm",
      "TestDeploy3 GetDeploymentPath capacity=260 rollback=0 zeroed=1",
      "TestDeploy3 PostProcess3 rollback=0 oem=0 -> 0"},
     {kAuthorized, deployedAt(alphabetRepeated(260)), kPostProcessed}},
    {"EmptyPathProceeds", "TestAuth1", "TestDeploy1", "auth=0", "path=", false, false, {0, 0}, "",
     {"TestAuth1 CreateAuthorizationManagerInstance", "TestAuth1 SetContentType auth=0",
      "TestAuth1 Authorize -> 0", "TestDeploy1 CreateDeploymentManagerInstance",
      "TestDeploy1 SetContentType path=",
      "TestDeploy1 GetDeploymentPath capacity=260 rollback=0 zeroed=1",
      "TestDeploy1 PostProcess rollback=0 -> 0"},
     {kAuthorized, deployedAt(""), kPostProcessed}},
};

class ModuleCalls : public ModuleContract, public ::testing::WithParamInterface<CallCase> {};

// The engine's order: stop at the first non-zero code, then release.
TEST_P(ModuleCalls, FactoriesSlotsCodesAndRelease) {
  const CallCase& c = GetParam();
  const std::string auth = modulePath(File::Signed, std::string(c.auth) + ".dll");
  const std::string deploy = modulePath(File::Signed, std::string(c.deploy) + ".dll");
  std::vector<int> codes;
  std::string deploymentPath;
  {
    EntryModules record(L"Update1.rar", L"An update");
    ASSERT_EQ(loadModules(record, platform::ansiToWide(auth), platform::ansiToWide(deploy), false),
              0);
    codes.push_back(authorizeAndLocate(c.deployType, record, c.authType, c.rollback, false));
    if (codes.back() == 0) codes.push_back(postProcess(c.rollback, record, c.oem));
    deploymentPath = platform::wideToAnsi(record.deploymentPath);
    releaseModules(record);
    EXPECT_TRUE(record.deploymentPath.empty() && record.updateFile.empty() &&
                record.authModulePath.empty() && record.deployModulePath.empty());
  }
  EXPECT_EQ(codes, c.codes);
  EXPECT_EQ(deploymentPath, c.deploymentPath);

  const std::string authName = c.auth, deployName = c.deploy;
  const Lines loads = {authName + " load", deployName + " load"};
  const Lines unloads = {authName + " unload", deployName + " unload"};
  EXPECT_EQ(trace(), loads + c.calls + unloads);
  Lines log = authLoaded(auth) + deployLoaded(deploy);
  for (const std::string& line : c.log) log.push_back(fill(line, auth, deploy));
  EXPECT_EQ(logMessages(), log);
}

INSTANTIATE_TEST_SUITE_P(Contract, ModuleCalls, ::testing::ValuesIn(kCallCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Verification before loading: what each module's file is, and how far
// loading gets.
struct LoadCase {
  const char* name;
  File auth;
  File deploy;
  bool authOnly;
  int code;
  Lines trace;  // "{auth}" and "{deploy}" stand for the two modules' paths in the log
  Lines log;
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

const std::string kAuthLoadFailed =
    "AUTH DLL FAILURE: Failed while loading the authorization dll at {auth}";
const std::string kDeployLoadFailed =
    "DEPLOY DLL FAILURE: Failed while loading the deployment dll at {deploy}";
// Stands for the authorization module's check and load lines.
const Lines kAuthLoadedLines = {"{auth loaded}"};

const LoadCase kLoadCases[] = {
    {"AuthorizationMissing", File::Missing, File::Signed, false, 107, {}, {kAuthLoadFailed}},
    {"AuthorizationUnsignedNeverRuns", File::Unsigned, File::Signed, false, 117, {},
     kRefused + Lines{"AUTH TVXSIGNED FAILED: The authorization dll {auth} is not Tarvenix Signed"}},
    {"AuthorizationVerifiedButNotLoadable", File::Unloadable, File::Signed, false, 107, {},
     kVerified + Lines{kAuthLoadFailed}},
    {"DeploymentMissing", File::Signed, File::Missing, false, 120,
     {"TestAuth2 load", "TestAuth2 unload"}, kAuthLoadedLines + Lines{kDeployLoadFailed}},
    {"DeploymentUnsignedNeverRuns", File::Signed, File::Unsigned, false, 119,
     {"TestAuth2 load", "TestAuth2 unload"},
     kAuthLoadedLines + kRefused +
         Lines{"DEPLOY TVXSIGNED FAILED: The deployment dll {deploy} is not Tarvenix Signed"}},
    {"DeploymentVerifiedButNotLoadable", File::Signed, File::Unloadable, false, 120,
     {"TestAuth2 load", "TestAuth2 unload"}, kAuthLoadedLines + kVerified + Lines{kDeployLoadFailed}},
    {"AuthorizationOnlyLeavesTheDeploymentModuleAlone", File::Signed, File::Signed, true, 0,
     {"TestAuth2 load", "TestAuth2 unload"}, kAuthLoadedLines},
};

class ModuleLoading : public ModuleContract, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(ModuleLoading, VerifiedBeforeAnythingRuns) {
  const LoadCase& c = GetParam();
  const std::string auth = modulePath(c.auth, "TestAuth2.dll");
  const std::string deploy = modulePath(c.deploy, "TestDeploy2.dll");
  {
    EntryModules record(L"Update1.rar", L"An update");
    EXPECT_EQ(loadModules(record, platform::ansiToWide(auth), platform::ansiToWide(deploy),
                          c.authOnly),
              c.code);
    EXPECT_EQ(platform::wideToAnsi(record.deployModulePath), c.authOnly ? "" : deploy);
    releaseModules(record);
  }
  EXPECT_EQ(trace(), c.trace);
  Lines log;
  for (const std::string& line : c.log) {
    log = line == kAuthLoadedLines[0] ? log + authLoaded(auth) : log + Lines{fill(line, auth, deploy)};
  }
  EXPECT_EQ(logMessages(), log);
}

INSTANTIATE_TEST_SUITE_P(Contract, ModuleLoading, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A bare or relative name is the current directory's file; the log names the
// module as given.
TEST_F(ModuleContract, BareAndRelativeNamesAreTheCurrentDirectorysFiles) {
  std::filesystem::create_directory("sub");
  std::filesystem::copy_file(modulePath(File::Signed, "TestAuth2.dll"), "TestAuth2.dll");
  std::filesystem::copy_file(modulePath(File::Signed, "TestDeploy3.dll"), "sub/TestDeploy3.dll");
  EntryModules record(L"Update1.rar", L"An update");
  EXPECT_EQ(loadModules(record, L"TestAuth2.dll", L"sub/TestDeploy3.dll", false), 0);
  EXPECT_EQ(logMessages(), authLoaded("TestAuth2.dll") + deployLoaded("sub/TestDeploy3.dll"));
  EXPECT_EQ(trace(), (Lines{"TestAuth2 load", "TestDeploy3 load"}));
}

// Operations called without what they need answer their codes; only the
// missing instance at post-processing is logged.
TEST_F(ModuleContract, OperationsWithoutTheirModulesOrInstances) {
  EntryModules record(L"Update1.rar", L"An update");
  EXPECT_EQ(authorizeAndLocate("path=/a", record, "auth=0", false, false), 107);
  EXPECT_EQ(postProcess(false, record, false), 120);
  EXPECT_EQ(logMessages(), Lines{});

  const std::string auth = modulePath(File::Signed, "TestAuth1.dll");
  ASSERT_EQ(loadModules(record, platform::ansiToWide(auth), L"", true), 0);
  EXPECT_EQ(authorizeAndLocate("path=/a", record, "auth=0", false, false), 120);

  const std::string deploy = modulePath(File::Signed, "TestDeploy1.dll");
  EntryModules second(L"Update2.rar", L"Another update");
  ASSERT_EQ(loadModules(second, platform::ansiToWide(auth), platform::ansiToWide(deploy), false),
            0);
  EXPECT_EQ(postProcess(false, second, false), 121);
  EXPECT_EQ(logMessages(),
            authLoaded(auth) + Lines{kAuthorized} + authLoaded(auth) + deployLoaded(deploy) +
                Lines{"DEPLOY INTERFACE ERROR: Deployment interface instance is not valid"});
}

// A record that goes out of scope unreleased still releases its instances
// before it unloads their modules.
TEST_F(ModuleContract, RecordReleasesInstancesBeforeModulesWhenItDies) {
  {
    EntryModules record(L"Update1.rar", L"An update");
    ASSERT_EQ(loadModules(record, platform::ansiToWide(modulePath(File::Signed, "TestAuth2.dll")),
                          platform::ansiToWide(modulePath(File::Signed, "TestDeploy2.dll")),
                          false),
              0);
    ASSERT_EQ(authorizeAndLocate("path=/a", record, "auth=0", false, false), 0);
  }
  const Lines lines = trace();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(Lines(lines.end() - 4, lines.end()), (Lines{"TestDeploy2 ReleaseInstance", "TestAuth2 ReleaseInstance",
                         "TestAuth2 unload", "TestDeploy2 unload"}));
}

}  // namespace
}  // namespace bu::test
