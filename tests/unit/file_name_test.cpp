// A package file whose name holds a byte the locale cannot read is the same
// file for every look at it: pinned, hashed and checked for links under its
// own bytes, never under a '?' stand-in (which names another file, or none,
// so that a link of that name used to pass unseen).
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/file_digest.h"
#include "platform/file_path.h"
#include "platform/pinned_file.h"
#include "platform/text.h"
#include "test_support.h"

namespace bu {
namespace {

class UndecodableName : public ::testing::Test {
 protected:
  void SetUp() override {
    previousLocale_ = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    char* directory = getcwd(nullptr, 0);
    previousDirectory_ = directory;
    std::free(directory);
    ASSERT_EQ(chdir(temp_.path().c_str()), 0);
  }
  void TearDown() override {
    if (!previousDirectory_.empty()) {
      EXPECT_EQ(chdir(previousDirectory_.c_str()), 0);
    }
    std::setlocale(LC_ALL, previousLocale_.c_str());
  }

  test::TempDirectory temp_;
  std::string previousLocale_;
  std::string previousDirectory_;
};

TEST_F(UndecodableName, IsPinnedHashedAndCheckedForLinksUnderItsOwnBytes) {
  const std::string file = "caf\xE9.rar";  // Latin-1 e-acute: no UTF-8
  const std::string link = "link\xE9.rar";
  std::FILE* out = std::fopen(file.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fputs("payload", out);
  std::fclose(out);
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);

  std::optional<platform::Sha256Digest> digest;
  EXPECT_TRUE(platform::pinWithDigest(platform::ansiToWide(file), digest).isOpen());
  EXPECT_EQ(digest, platform::sha256Of("payload", 7));
  EXPECT_FALSE(platform::passesLink(platform::ansiToWide(file)));
  EXPECT_TRUE(platform::passesLink(platform::ansiToWide(link)));
}

}  // namespace
}  // namespace bu
