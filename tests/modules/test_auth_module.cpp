// A test authorization module, compiled once per variant. The variant's
// defines choose the factories it exports and whether one answers null:
//   BU_EXPORT_V1 / BU_EXPORT_V2   CreateAuthorizationManagerInstance / ...2Instance
//   BU_NULL_V1 / BU_NULL_V2       that factory answers null
// Authorize() answers the content type's "auth" value, 0 without one. With
// "replace=<from>><to>" it first puts the package file <from> in the place
// of <to> (or, without <to>, removes <from>), so that a test can change the
// package between two entries of one run, e.g. the unrar.dll of the next.
//
// Both factories hand out the one version-2 object, so that a ReleaseInstance
// call on a version-1 instance shows in the trace instead of crashing.
#include <cstdio>
#include <string>

#include "brevant_updater_module.h"
#include "module_trace.h"

namespace {

using test_module::trace;

class TestAuthorization final : public IBrevantUpdaterAuthorizationManager2 {
 public:
  void SetContentType(const wchar_t* contentType) override {
    trace("SetContentType %s", test_module::describe(contentType).c_str());
    contentType_ = contentType != nullptr ? contentType : L"";
  }

  int Authorize() override {
    replaceFile();
    const int code = test_module::number(contentType_, L"auth", 0);
    trace("Authorize -> %d", code);
    return code;
  }

  void ReleaseInstance() override { trace("ReleaseInstance"); }

 private:
  void replaceFile() const {
    if (!test_module::has(contentType_, L"replace")) return;
    const std::string spec = test_module::describe(test_module::value(contentType_, L"replace").c_str());
    const std::size_t arrow = spec.find('>');
    const std::string from = spec.substr(0, arrow);
    if (arrow == std::string::npos) {
      trace("replace remove %s -> %d", from.c_str(), std::remove(from.c_str()));
      return;
    }
    const std::string to = spec.substr(arrow + 1);
    std::remove(to.c_str());
    trace("replace %s>%s -> %d", from.c_str(), to.c_str(), std::rename(from.c_str(), to.c_str()));
  }

  std::wstring contentType_;
};

TestAuthorization instance;

}  // namespace

#if defined(BU_EXPORT_V2)
BU_MODULE_EXPORT IBrevantUpdaterAuthorizationManager2* CreateAuthorizationManager2Instance() {
  trace("CreateAuthorizationManager2Instance");
#if defined(BU_NULL_V2)
  return nullptr;
#else
  return &instance;
#endif
}
#endif

#if defined(BU_EXPORT_V1)
BU_MODULE_EXPORT IBrevantUpdaterAuthorizationManager* CreateAuthorizationManagerInstance() {
  trace("CreateAuthorizationManagerInstance");
#if defined(BU_NULL_V1)
  return nullptr;
#else
  return &instance;
#endif
}
#endif
