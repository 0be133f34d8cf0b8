// The POSIX resource module, buResource.dll, as the program reads it: the
// file's bytes, an appended signature cut off when the trailer says there is
// one, and the string table parsed from the rest. A table that parses
// encodes back into content that parses into the same table.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "platform/appended_signature_posix.h"
#include "platform/string_module_posix.h"

namespace {

std::u16string utf16(const std::wstring& text) {
  std::u16string units;
  for (const wchar_t c : text) {
    const auto point = static_cast<char32_t>(c);
    if (point >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(point);
    }
  }
  return units;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using bu::fuzz::check;
  const auto signature = bu::platform::findAppendedSignature(data, size);
  const std::size_t contentSize = signature ? signature->contentSize : size;
  const auto table = bu::platform::parseStringModule(data, contentSize);
  if (!table) return 0;

  std::vector<std::pair<unsigned, std::u16string>> texts;
  for (const auto& [id, text] : *table) {
    check(id <= 0xFFFF, "a text id beyond 16 bits");
    texts.emplace_back(id, utf16(text));
  }
  const std::vector<unsigned char> again = bu::platform::encodeStringModule(texts);
  check(!again.empty(), "a parsed table does not encode");
  const auto reparsed = bu::platform::parseStringModule(again.data(), again.size());
  check(reparsed && *reparsed == *table, "a parsed table does not survive encoding");
  return 0;
}
