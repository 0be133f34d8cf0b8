// Writes the string-module seeds: the program's own table and the test
// resource module's Dutch table as POSIX module content, each also with an
// appended signature's place and trailer (the form a signed module has), and
// an empty table. Both fuzz targets of the module format start from them.
//
//   string_module_seeds <directory>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/appended_signature_posix.h"
#include "platform/string_module_posix.h"
#include "string_table.h"
#include "string_table_nl.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Texts = std::vector<std::pair<unsigned, std::u16string>>;

// The content followed by a stand-in signature (the bytes of a DER SEQUENCE
// header and filler) and the trailer that declares its length.
Bytes withSignature(Bytes file, std::size_t signatureSize) {
  file.push_back(0x30);
  file.insert(file.end(), signatureSize - 1, 0x82);
  for (int i = 0; i < 8; ++i) file.push_back(static_cast<unsigned char>(signatureSize >> (8 * i)));
  const char* magic = bu::platform::kSignatureMagic;
  file.insert(file.end(), magic, magic + 8);
  return file;
}

bool write(const std::string& path, const Bytes& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
#define BU_SEED_ENTRY(id, text) {id, u"" text},
  const Texts own = {BU_STRING_TABLE(BU_SEED_ENTRY)};
  const Texts dutch = {BU_MODULE_STRING_TABLE(BU_SEED_ENTRY)};
#undef BU_SEED_ENTRY
  const Texts odd = {{101, u"\U0001F600 caf\u00E9"}, {65535, std::u16string(1, char16_t(0xD800))}};

  const std::string directory = argv[1];
  bool ok = true;
  for (const auto& [name, texts] : {std::pair{"own", own}, {"dutch", dutch}, {"odd", odd},
                                    {"empty", Texts{}}}) {
    const Bytes content = bu::platform::encodeStringModule(texts);
    ok = ok && !content.empty() && write(directory + "/" + name + ".str", content) &&
         write(directory + "/" + name + "-signed.str", withSignature(content, 48));
  }
  if (!ok) {
    std::fprintf(stderr, "%s: cannot write the seeds into %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
