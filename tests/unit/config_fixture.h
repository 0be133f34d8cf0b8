// A package directory for the configuration tests: the test's temporary
// directory becomes the current directory (where buConfig.xml is looked
// for), and a fixture of tests/fixtures/configs can be put there under the
// configuration file's name.
#pragma once

#include <filesystem>
#include <string>

#include "test_support.h"

namespace bu::test {

class PackageTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(temp_.path());
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  // Copies the fixture in as buConfig.xml; a null name leaves the package
  // without a configuration file.
  void useConfiguration(const char* fixture) const {
    const std::filesystem::path target = std::filesystem::path(temp_.path()) / "buConfig.xml";
    std::filesystem::remove_all(target);
    if (fixture == nullptr) return;
    std::filesystem::copy_file(std::filesystem::path(BU_FIXTURES_DIR) / "configs" / fixture,
                               target);
  }

 private:
  std::filesystem::path previous_;
};

}  // namespace bu::test
