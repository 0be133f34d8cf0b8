// The POSIX resource module: its string-table format, the appended-signature
// trailer that may follow it, and loading it from a file.
#include <cstdio>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/appended_signature_posix.h"
#include "platform/string_module_posix.h"
#include "platform/string_resource.h"
#include "platform/text.h"
#include "test_support.h"

namespace bu::test {
namespace {

using Bytes = std::vector<unsigned char>;
using platform::StringTable;

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes module(const std::vector<std::pair<unsigned, std::u16string>>& texts) {
  return platform::encodeStringModule(texts);
}

std::optional<StringTable> parse(const Bytes& content) {
  return platform::parseStringModule(content.data(), content.size());
}

TEST(StringModule, TextsSurviveTheRoundTrip) {
  const auto table = parse(module({{101, u"Hallo\n\twereld"},
                                   {102, u""},
                                   {111, u"gr\u00FC\u00DF \U0001F600"},
                                   {65535, u"x"}}));
  ASSERT_TRUE(table);
  EXPECT_EQ(*table, (StringTable{{101, L"Hallo\n\twereld"},
                                 {102, L""},
                                 {111, L"gr\u00FC\u00DF \U0001F600"},
                                 {65535, L"x"}}));
}

TEST(StringModule, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
  const auto table = parse(module({{101, lone}}));
  ASSERT_TRUE(table);
  EXPECT_EQ(table->at(101), L"a\uFFFDb\uFFFD");
}

TEST(StringModule, EveryCutOfAWellFormedModuleIsRefused) {
  const Bytes whole = module({{101, u"een"}, {102, u"twee"}});
  ASSERT_TRUE(parse(whole));
  for (std::size_t size = 0; size < whole.size(); ++size) {
    EXPECT_FALSE(platform::parseStringModule(whole.data(), size)) << "cut at " << size;
  }
}

struct Malformed {
  const char* name;
  Bytes content;
};

void PrintTo(const Malformed& c, std::ostream* out) { *out << c.name; }

Bytes withTail(Bytes content, const std::string& tail) {
  content.insert(content.end(), tail.begin(), tail.end());
  return content;
}

class MalformedModule : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedModule, IsRefused) { EXPECT_FALSE(parse(GetParam().content)); }

INSTANTIATE_TEST_SUITE_P(
    Contents, MalformedModule,
    ::testing::Values(
        Malformed{"Empty", {}},
        Malformed{"OtherMagic", bytes("BUSTRTB2\x00\x00")},
        Malformed{"CountBeyondTheTexts", bytes(std::string("BUSTRTB1\x02\x00", 10))},
        Malformed{"LengthBeyondTheEnd", bytes(std::string("BUSTRTB1\x01\x00\x65\x00\xFF\xFF", 14))},
        Malformed{"DuplicateId", module({{101, u"a"}, {101, u"b"}})},
        Malformed{"BytesAfterTheTexts", withTail(module({{101, u"a"}}), "?")},
        Malformed{"OddByteAfterTheTexts", withTail(module({}), "x")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StringModule, AnEmptyTableIsWellFormed) {
  const auto table = parse(module({}));
  ASSERT_TRUE(table);
  EXPECT_TRUE(table->empty());
}

// content + signature + 8-byte length + magic
Bytes signedFile(const Bytes& content, std::size_t signatureSize, std::uint64_t declared,
                 const std::string& magic = "BUSIG001") {
  Bytes file = content;
  file.insert(file.end(), signatureSize, 0x30);
  for (int i = 0; i < 8; ++i) file.push_back(static_cast<unsigned char>(declared >> (8 * i)));
  file.insert(file.end(), magic.begin(), magic.end());
  return file;
}

struct TrailerCase {
  const char* name;
  Bytes file;
  std::optional<std::size_t> contentSize;
};

void PrintTo(const TrailerCase& c, std::ostream* out) { *out << c.name; }

class Trailer : public ::testing::TestWithParam<TrailerCase> {};

TEST_P(Trailer, GivesTheContentOnlyWhenWellFormed) {
  const Bytes& file = GetParam().file;
  const auto found = platform::findAppendedSignature(file.data(), file.size());
  ASSERT_EQ(found.has_value(), GetParam().contentSize.has_value());
  if (!found) return;
  EXPECT_EQ(found->contentSize, *GetParam().contentSize);
  EXPECT_EQ(found->contentSize + found->signatureSize + 16, file.size());
}

INSTANTIATE_TEST_SUITE_P(
    Files, Trailer,
    ::testing::Values(
        TrailerCase{"Signed", signedFile(bytes("content"), 5, 5), 7},
        TrailerCase{"NothingButTheSignature", signedFile({}, 5, 5), 0},
        TrailerCase{"Unsigned", bytes("a file without any trailer at all"), std::nullopt},
        TrailerCase{"ShorterThanATrailer", bytes("BUSIG001"), std::nullopt},
        TrailerCase{"OtherMagic", signedFile(bytes("c"), 5, 5, "BUSIG002"), std::nullopt},
        TrailerCase{"EmptySignature", signedFile(bytes("c"), 0, 0), std::nullopt},
        TrailerCase{"LengthBeyondTheFile", signedFile(bytes("c"), 5, 7), std::nullopt},
        TrailerCase{"LengthThatWouldWrap", signedFile(bytes("c"), 5, ~std::uint64_t{0}),
                    std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

class LoadedModule : public ProgramTest {
 protected:
  std::wstring write(const std::string& name, const Bytes& content) {
    const std::string path = temp_.path() + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    return platform::ansiToWide(path);
  }
};

TEST_F(LoadedModule, TextsComeFromItsContentAndAreCutToTheBuffer) {
  const Bytes content = module({{101, u"eenentwintig"}, {102, u"twee"}});
  const platform::StringModuleHandle loaded = platform::loadStringModule(
      platform::PinnedFile::open(write("signed.dat", signedFile(content, 40, 40))));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(platform::loadString(loaded, 101, 520), L"eenentwintig");
  EXPECT_EQ(platform::loadString(loaded, 101, 4), L"een");
  EXPECT_EQ(platform::loadString(loaded, 103, 520), L"");  // not in the module
  EXPECT_NE(platform::loadString(nullptr, 103, 520), L"");  // the program's own
}

TEST_F(LoadedModule, FilesThatAreNoModuleAreNotLoaded) {
  const auto load = [](const std::wstring& path) {
    return platform::loadStringModule(platform::PinnedFile::open(path));
  };
  EXPECT_EQ(load(write("garbage.dat", bytes("MZ not a table"))), nullptr);
  EXPECT_EQ(load(platform::ansiToWide(temp_.path() + "/missing.dat")), nullptr);
  EXPECT_EQ(load(platform::ansiToWide(temp_.path())), nullptr);
  EXPECT_EQ(load(L""), nullptr);
}

}  // namespace
}  // namespace bu::test
