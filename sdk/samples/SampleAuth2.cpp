// Sample authorization module, version 2: the form to implement.
//
// The product's license file, named by the environment variable
// SAMPLE_LICENSE_FILE, lists the content types the machine is licensed for,
// one per line. An update is authorized when its content type is listed;
// without a readable license file the module answers its own code.
//
// Each factory call makes a new instance; the updater hands it back with
// ReleaseInstance() before it unloads the module.
#include <cstdio>
#include <new>
#include <string>

#include "sample_support.h"

namespace {

class LicenseFile final : public IBrevantUpdaterAuthorizationManager2 {
 public:
  void SetContentType(const wchar_t* contentType) override {
    contentType_ = sample::narrow(contentType != nullptr ? contentType : L"");
  }

  int Authorize() override {
    const char* path = std::getenv("SAMPLE_LICENSE_FILE");
    std::FILE* file = path != nullptr ? std::fopen(path, "r") : nullptr;
    if (file == nullptr) return sample::kNoLicense;
    bool licensed = false;
    char line[256];
    while (!licensed && std::fgets(line, sizeof line, file) != nullptr) {
      std::string entry(line);
      while (!entry.empty() && (entry.back() == '\n' || entry.back() == '\r')) entry.pop_back();
      licensed = !entry.empty() && entry == contentType_;
    }
    std::fclose(file);
    return licensed ? BU_MODULE_SUCCESS : BU_MODULE_NOT_AUTHORIZED;
  }

  void ReleaseInstance() override { delete this; }

 private:
  std::string contentType_;
};

}  // namespace

BU_MODULE_EXPORT IBrevantUpdaterAuthorizationManager2* CreateAuthorizationManager2Instance() {
  return new (std::nothrow) LicenseFile();
}
