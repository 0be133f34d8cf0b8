// The configuration tests' package: a fixture of tests/fixtures/configs can
// be put there under the configuration file's name.
#pragma once

#include <filesystem>
#include <string>

#include "test_support.h"

namespace bu::test {

class ConfigurationTest : public PackageTest {
 protected:
  // Copies the fixture in as buConfig.xml; a null name leaves the package
  // without a configuration file.
  void useConfiguration(const char* fixture) const {
    const std::filesystem::path target = std::filesystem::path(temp_.path()) / "buConfig.xml";
    std::filesystem::remove_all(target);
    if (fixture == nullptr) return;
    std::filesystem::copy_file(std::filesystem::path(BU_FIXTURES_DIR) / "configs" / fixture,
                               target);
  }
};

}  // namespace bu::test
