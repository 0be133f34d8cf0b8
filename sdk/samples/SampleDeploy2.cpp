// Sample deployment module, version 2.
//
// The product keeps one folder per kind of content below its installation
// directory (the environment variable SAMPLE_PRODUCT_DIR stands for the
// directory an installer would record): the update goes to
// "<product directory>/<content type>". Post-processing writes
// SampleDeploy2.marker there.
//
// Each factory call makes a new instance; the updater releases it.
#include <new>
#include <string>

#include "sample_support.h"

namespace {

class ContentFolder final : public IBrevantUpdaterDeploymentManager2 {
 public:
  void SetContentType(const wchar_t* contentType) override {
    contentType_ = contentType != nullptr ? contentType : L"";
  }

  int GetDeploymentPath(wchar_t* buffer, unsigned capacity, bool) override {
    const std::wstring product = sample::environment("SAMPLE_PRODUCT_DIR");
    if (product.empty() || contentType_.empty()) return sample::kNoProductDirectory;
    directory_ = product + L"/" + contentType_;
    return sample::answerDirectory(directory_, buffer, capacity);
  }

  int PostProcess(bool rollback) override {
    return sample::writeMarker(directory_, "SampleDeploy2.marker",
                               std::string("rollback=") + (rollback ? "1" : "0") + "\n");
  }

  void ReleaseInstance() override { delete this; }

 private:
  std::wstring contentType_;
  std::wstring directory_;
};

}  // namespace

BU_MODULE_EXPORT IBrevantUpdaterDeploymentManager2* CreateDeploymentManager2Instance() {
  return new (std::nothrow) ContentFolder();
}
