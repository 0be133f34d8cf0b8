#include "platform/string_module_posix.h"

#include <cstdint>
#include <cstring>

namespace bu::platform {
namespace {

const char kMagic[] = "BUSTRTB1";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;
constexpr char32_t kReplacement = 0xFFFD;

// Reads little-endian 16-bit numbers without ever passing the end.
class Reader {
 public:
  Reader(const unsigned char* data, std::size_t size) : data_(data), left_(size) {}

  bool number(std::uint16_t& value) {
    if (left_ < 2) return false;
    value = static_cast<std::uint16_t>(data_[0] | (data_[1] << 8));
    data_ += 2;
    left_ -= 2;
    return true;
  }
  bool atEnd() const { return left_ == 0; }
  bool holds(std::size_t numbers) const { return left_ / 2 >= numbers; }

 private:
  const unsigned char* data_;
  std::size_t left_;
};

bool isHighSurrogate(std::uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(std::uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool readText(Reader& reader, std::size_t units, std::wstring& text) {
  // A length is believed only as far as the content goes: a cut module costs
  // what it holds, not what it declares.
  if (!reader.holds(units)) return false;
  std::u16string utf16(units, u'\0');
  for (char16_t& unit : utf16) {
    std::uint16_t value = 0;
    if (!reader.number(value)) return false;
    unit = value;
  }
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const std::uint16_t unit = utf16[i];
    if (isHighSurrogate(unit) && i + 1 < utf16.size() && isLowSurrogate(utf16[i + 1])) {
      const char32_t point = 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      text += static_cast<wchar_t>(point);
      ++i;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      text += static_cast<wchar_t>(kReplacement);
    } else {
      text += static_cast<wchar_t>(unit);
    }
  }
  return true;
}

void putNumber(std::vector<unsigned char>& out, std::size_t value) {
  out.push_back(static_cast<unsigned char>(value & 0xFF));
  out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

}  // namespace

std::optional<StringTable> parseStringModule(const unsigned char* content, std::size_t size) {
  if (content == nullptr || size < kMagicSize || std::memcmp(content, kMagic, kMagicSize) != 0) {
    return std::nullopt;
  }
  Reader reader(content + kMagicSize, size - kMagicSize);
  std::uint16_t count = 0;
  if (!reader.number(count)) return std::nullopt;
  StringTable table;
  for (unsigned i = 0; i < count; ++i) {
    std::uint16_t id = 0;
    std::uint16_t units = 0;
    std::wstring text;
    if (!reader.number(id) || !reader.number(units) || !readText(reader, units, text)) {
      return std::nullopt;
    }
    if (!table.emplace(id, std::move(text)).second) return std::nullopt;
  }
  if (!reader.atEnd()) return std::nullopt;
  return table;
}

std::vector<unsigned char> encodeStringModule(
    const std::vector<std::pair<unsigned, std::u16string>>& texts) {
  constexpr std::size_t kLargest = 0xFFFF;
  std::vector<unsigned char> out(kMagic, kMagic + kMagicSize);
  if (texts.size() > kLargest) return {};
  putNumber(out, texts.size());
  for (const auto& [id, text] : texts) {
    if (id > kLargest || text.size() > kLargest) return {};
    putNumber(out, id);
    putNumber(out, text.size());
    for (const char16_t unit : text) putNumber(out, unit);
  }
  return out;
}

}  // namespace bu::platform
