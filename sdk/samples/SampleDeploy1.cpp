// Sample deployment module, version 1.
//
// The update goes to the directory named by the environment variable
// SAMPLE_DEPLOY_DIR. Post-processing writes SampleDeploy1.marker there with
// the content type and the rollback option.
//
// A version-1 instance is never released: one instance lives as long as the
// module.
#include <string>

#include "sample_support.h"

namespace {

class EnvironmentDirectory final : public IBrevantUpdaterDeploymentManager {
 public:
  void SetContentType(const wchar_t* contentType) override {
    contentType_ = contentType != nullptr ? contentType : L"";
  }

  int GetDeploymentPath(wchar_t* buffer, unsigned capacity, bool) override {
    directory_ = sample::environment("SAMPLE_DEPLOY_DIR");
    return sample::answerDirectory(directory_, buffer, capacity);
  }

  int PostProcess(bool rollback) override {
    return sample::writeMarker(directory_, "SampleDeploy1.marker",
                               "content=" + sample::narrow(contentType_) +
                                   " rollback=" + (rollback ? "1" : "0") + "\n");
  }

 private:
  std::wstring contentType_;
  std::wstring directory_;
};

EnvironmentDirectory instance;

}  // namespace

BU_MODULE_EXPORT IBrevantUpdaterDeploymentManager* CreateDeploymentManagerInstance() {
  return &instance;
}
