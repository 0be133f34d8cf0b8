// A test authorization module, compiled once per variant. The variant's
// defines choose the factories it exports and whether one answers null:
//   BU_EXPORT_V1 / BU_EXPORT_V2   CreateAuthorizationManagerInstance / ...2Instance
//   BU_NULL_V1 / BU_NULL_V2       that factory answers null
// Authorize() answers the content type's "auth" value, 0 without one.
//
// Both factories hand out the one version-2 object, so that a ReleaseInstance
// call on a version-1 instance shows in the trace instead of crashing.
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
    const int code = test_module::number(contentType_, L"auth", 0);
    trace("Authorize -> %d", code);
    return code;
  }

  void ReleaseInstance() override { trace("ReleaseInstance"); }

 private:
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
