// The package manifest's text and its PE container: what one writer writes
// the reader reads back exactly, and what is not a manifest is refused
// without reading outside the bytes given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trust/manifest_image.h"
#include "trust/package_manifest.h"

namespace bu {
namespace {

platform::Sha256Digest digestOf(unsigned char fill) {
  platform::Sha256Digest digest;
  digest.fill(fill);
  return digest;
}

const std::string kDigest(64, 'a');

TEST(PackageManifest, EveryNameComesBackByteForByteAndIsFoundIgnoringAsciiCase) {
  const std::vector<ManifestRecord> records = {
      {"buConfig.xml", digestOf(1)},
      {"Update 1.rar", digestOf(2)},        // a blank
      {"100%.rar", digestOf(3)},            // the escape character itself
      {"caf\xe9\n.rar", digestOf(4)},       // an 8-bit letter and a line break
      {"sub/Deep.RAR", digestOf(5)},
  };
  const auto manifest = parseManifestText(manifestText(records));
  ASSERT_TRUE(manifest.has_value());
  ASSERT_EQ(manifest->records().size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(manifest->records()[i].name, records[i].name);
    EXPECT_EQ(manifest->records()[i].digest, records[i].digest);
  }
  ASSERT_NE(manifest->find("SUB/deep.rar"), nullptr);
  EXPECT_EQ(manifest->find("SUB/deep.rar")->digest, digestOf(5));
  EXPECT_EQ(manifest->find("CAF\xc9\n.rar"), nullptr);  // only A-Z fold
  EXPECT_EQ(manifest->find("Update1.rar"), nullptr);
}

TEST(PackageManifest, TextsThatAreNotManifestsAreRefused) {
  const std::string record = "sha256 " + kDigest + " a.rar\n";
  const struct {
    const char* why;
    std::string text;
  } cases[] = {
      {"no header", record + "end\n"},
      {"another version", "bu-manifest 2\n" + record + "end\n"},
      {"no end", "bu-manifest 1\n" + record},
      {"an end without its line break", "bu-manifest 1\n" + record + "end"},
      {"a short digest", "bu-manifest 1\nsha256 " + kDigest.substr(1) + " a.rar\nend\n"},
      {"upper-case hex", "bu-manifest 1\nsha256 " + std::string(64, 'A') + " a.rar\nend\n"},
      {"another hash", "bu-manifest 1\nsha1 " + kDigest + " a.rar\nend\n"},
      {"no name", "bu-manifest 1\nsha256 " + kDigest + " \nend\n"},
      {"a raw blank in the name", "bu-manifest 1\nsha256 " + kDigest + " a b.rar\nend\n"},
      {"a cut escape", "bu-manifest 1\nsha256 " + kDigest + " a%2\nend\n"},
      {"a bad escape", "bu-manifest 1\nsha256 " + kDigest + " a%zz\nend\n"},
      {"one file twice, in two cases", "bu-manifest 1\n" + record + "sha256 " + kDigest +
                                           " A.RAR\nend\n"},
      {"a CR line break", "bu-manifest 1\r\n" + record + "end\n"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(parseManifestText(c.text).has_value()) << c.why;
  }
}

TEST(ManifestImage, TheTextComesBackAndNothingOutsideTheImageIsRead) {
  const std::string text = manifestText({{"buConfig.xml", digestOf(7)}});
  std::vector<unsigned char> image = manifestImage(text);
  auto read = manifestImageText(image.data(), image.size());
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(*read, text);

  // A signature appended behind the image changes nothing.
  std::vector<unsigned char> signedImage = image;
  signedImage.insert(signedImage.end(), 700, 0xA5);
  read = manifestImageText(signedImage.data(), signedImage.size());
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(*read, text);

  // Every cut that loses part of the text or its directories is refused:
  // each prefix is copied so that reading past it shows under the sanitizers.
  const std::size_t needed = 0x200 + 88 + text.size();
  for (std::size_t size = 0; size < needed; ++size) {
    const std::vector<unsigned char> cut(image.begin(), image.begin() + size);
    EXPECT_FALSE(manifestImageText(cut.data(), cut.size()).has_value()) << size;
  }
}

TEST(ManifestImage, ImagesWithoutTheResourceAreRefused) {
  const std::vector<unsigned char> image = manifestImage("bu-manifest 1\nend\n");
  const struct {
    const char* why;
    std::size_t at;
    unsigned char value;
  } cases[] = {
      {"not MZ", 0, 'Z'},
      {"no PE signature", 0x41, 'X'},
      {"an unknown optional header", 0x58, 0x07},
      {"too few data directories", 0xB4, 2},
      {"the resource directory outside every section", 0xC9, 0x90},
      {"a type other than RCDATA", 0x210, 11},
      {"a text id other than 1", 0x228, 2},
      {"the text's data entry marked as a directory", 0x247, 0x80},
      {"the text running past its section", 0x24D, 0x10},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> changed = image;
    changed[c.at] = c.value;
    EXPECT_FALSE(manifestImageText(changed.data(), changed.size()).has_value()) << c.why;
  }
}

}  // namespace
}  // namespace bu
