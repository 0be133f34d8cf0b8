// Sample deployment module, version 3: the form to implement.
//
// Like SampleDeploy2 the update goes to "<SAMPLE_PRODUCT_DIR>/<content type>";
// post-processing also learns whether the run is an OEM run and writes both
// flags into SampleDeploy3.marker.
//
// The updater calls slots 0, 1 and 4 of a version-3 instance and never
// releases it, so the module owns its one instance. It also exports the
// version-2 factory, for updaters that know no version 3: those call slot 2
// and then ReleaseInstance(), which must leave the shared instance alone.
#include <string>

#include "sample_support.h"

namespace {

class OemAwareFolder final : public IBrevantUpdaterDeploymentManager3 {
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

  // Slot 2, for updaters of version 2.
  int PostProcess(bool rollback) override { return PostProcess(rollback, false); }

  void ReleaseInstance() override {}

  // Slot 4.
  int PostProcess(bool rollback, bool oem) override {
    return sample::writeMarker(directory_, "SampleDeploy3.marker",
                               std::string("rollback=") + (rollback ? "1" : "0") +
                                   " oem=" + (oem ? "1" : "0") + "\n");
  }

 private:
  std::wstring contentType_;
  std::wstring directory_;
};

OemAwareFolder instance;

}  // namespace

BU_MODULE_EXPORT IBrevantUpdaterDeploymentManager3* CreateDeploymentManager3Instance() {
  return &instance;
}

BU_MODULE_EXPORT IBrevantUpdaterDeploymentManager2* CreateDeploymentManager2Instance() {
  return &instance;
}
