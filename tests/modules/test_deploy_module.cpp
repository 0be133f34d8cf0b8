// A test deployment module, compiled once per variant. The variant's defines
// choose the factories it exports and whether one answers null:
//   BU_EXPORT_V1 / _V2 / _V3   CreateDeploymentManagerInstance / ...2 / ...3
//   BU_NULL_V1 / _V2 / _V3     that factory answers null
// The content type chooses the answers:
//   path=<text>   GetDeploymentPath() writes <text> (else an empty path)
//   pathcode=<n>  GetDeploymentPath() answers <n> and writes nothing
//   noterm        GetDeploymentPath() fills the whole buffer, no terminator
//   post=<n>      PostProcess() answers <n>
//   sleep=<ms>    PostProcess() waits that long before it answers, so that a
//                 test can stop the program in the middle of a run
//   loadbyname=<file>  PostProcess() also loads <file> by bare name, as a
//                 system library would, and traces where the search found it
//                 (variants built with BU_SEARCH_PROBE)
// BU_NEEDS_HELPER links the module to TestHelper.dll, which must then lie
// beside it for the module to load at all.
//
// Every factory hands out the one version-3 object, so that a call to a slot
// the instance's version lacks shows in the trace instead of crashing.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "brevant_updater_module.h"
#include "module_trace.h"
#if defined(BU_SEARCH_PROBE)
#include "library_search.h"
#endif
#if defined(BU_NEEDS_HELPER)
#include "test_helper.h"
#endif

namespace {

using test_module::trace;

class TestDeployment final : public IBrevantUpdaterDeploymentManager3 {
 public:
  void SetContentType(const wchar_t* contentType) override {
    trace("SetContentType %s", test_module::describe(contentType).c_str());
    contentType_ = contentType != nullptr ? contentType : L"";
  }

  int GetDeploymentPath(wchar_t* buffer, unsigned capacity, bool rollback) override {
    // Never beyond the size the updater promises, whatever it passes.
    const unsigned usable = std::min(capacity, static_cast<unsigned>(BU_DEPLOYMENT_PATH_CAPACITY));
    const bool zeroed = buffer != nullptr && std::all_of(buffer, buffer + usable,
                                                         [](wchar_t c) { return c == L'\0'; });
    trace("GetDeploymentPath capacity=%u rollback=%d zeroed=%d", capacity, rollback ? 1 : 0,
          zeroed ? 1 : 0);
    if (buffer == nullptr || usable == 0) return -1;
    const int code = test_module::number(contentType_, L"pathcode", 0);
    if (code != 0) return code;
    if (test_module::has(contentType_, L"noterm")) {
      for (unsigned i = 0; i < usable; ++i) buffer[i] = static_cast<wchar_t>(L'A' + i % 26);
      return 0;
    }
    const std::wstring path = test_module::value(contentType_, L"path");
    const std::size_t length = std::min<std::size_t>(path.size(), usable - 1);
    std::copy(path.begin(), path.begin() + length, buffer);
    buffer[length] = L'\0';
    return 0;
  }

  int PostProcess(bool rollback) override {
    const int code = test_module::number(contentType_, L"post", 0);
    trace("PostProcess rollback=%d -> %d", rollback ? 1 : 0, code);
    finishPostProcess();
    return code;
  }

  void ReleaseInstance() override { trace("ReleaseInstance"); }

  int PostProcess(bool rollback, bool oem) override {
    const int code = test_module::number(contentType_, L"post", 0);
    trace("PostProcess3 rollback=%d oem=%d -> %d", rollback ? 1 : 0, oem ? 1 : 0, code);
    finishPostProcess();
    return code;
  }

 private:
  // What the content type asks of post-processing besides its answer.
  void finishPostProcess() const {
#if defined(BU_SEARCH_PROBE)
    if (test_module::has(contentType_, L"loadbyname")) {
      const std::wstring name = test_module::value(contentType_, L"loadbyname");
      trace("LoadByName %s -> %s", test_module::describe(name.c_str()).c_str(),
            test_module::loadByName(name).c_str());
    }
#endif
    const int milliseconds = test_module::number(contentType_, L"sleep", 0);
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  std::wstring contentType_;
};

TestDeployment instance;

}  // namespace

#if defined(BU_EXPORT_V3)
BU_MODULE_EXPORT IBrevantUpdaterDeploymentManager3* CreateDeploymentManager3Instance() {
  trace("CreateDeploymentManager3Instance");
#if defined(BU_NULL_V3)
  return nullptr;
#else
  return &instance;
#endif
}
#endif

#if defined(BU_EXPORT_V2)
BU_MODULE_EXPORT IBrevantUpdaterDeploymentManager2* CreateDeploymentManager2Instance() {
  trace("CreateDeploymentManager2Instance");
#if defined(BU_NEEDS_HELPER)
  trace("helper answers %d", test_helper_answer());
#endif
#if defined(BU_NULL_V2)
  return nullptr;
#else
  return &instance;
#endif
}
#endif

#if defined(BU_EXPORT_V1)
BU_MODULE_EXPORT IBrevantUpdaterDeploymentManager* CreateDeploymentManagerInstance() {
  trace("CreateDeploymentManagerInstance");
#if defined(BU_NULL_V1)
  return nullptr;
#else
  return &instance;
#endif
}
#endif
