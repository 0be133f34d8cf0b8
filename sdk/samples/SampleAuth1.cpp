// Sample authorization module, version 1.
//
// The product is licensed for some kinds of content: the environment
// variable SAMPLE_LICENSED_CONTENT lists them, separated by ';'. An update is
// authorized when its content type (from buConfig.xml) is in the list.
//
// A version-1 instance never hears that the updater is done with it, so the
// module keeps a single instance for as long as it is loaded.
#include <string>

#include "sample_support.h"

namespace {

class LicensedContent final : public IBrevantUpdaterAuthorizationManager {
 public:
  void SetContentType(const wchar_t* contentType) override {
    contentType_ = contentType != nullptr ? contentType : L"";
  }

  int Authorize() override {
    if (contentType_.empty()) return BU_MODULE_NOT_AUTHORIZED;
    const std::wstring licensed = L";" + sample::environment("SAMPLE_LICENSED_CONTENT") + L";";
    return licensed.find(L";" + contentType_ + L";") != std::wstring::npos
               ? BU_MODULE_SUCCESS
               : BU_MODULE_NOT_AUTHORIZED;
  }

 private:
  std::wstring contentType_;
};

LicensedContent instance;

}  // namespace

BU_MODULE_EXPORT IBrevantUpdaterAuthorizationManager* CreateAuthorizationManagerInstance() {
  return &instance;
}
