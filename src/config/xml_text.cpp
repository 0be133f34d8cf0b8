#include "config/xml_text.h"

namespace bu {

std::unique_ptr<char[]> readXmlBytes(std::FILE* file, std::size_t& size) {
  // Like LoadFile, trusts ftell (a long) for the length and reads exactly
  // that much in one piece.
  std::fseek(file, 0, SEEK_END);
  const long length = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  if (length <= 0) return nullptr;

  const std::size_t bytes = static_cast<std::size_t>(length);
  std::unique_ptr<char[]> text(new char[bytes + 1 + kXmlTextPadding]);
  if (std::fread(text.get(), bytes, 1, file) != 1) return nullptr;
  for (std::size_t i = bytes; i <= bytes + kXmlTextPadding; ++i) text[i] = 0;
  size = bytes;
  return text;
}

void normalizeXmlLineBreaks(char* text) {
  // Line breaks become LF in place, up to the first NUL: the parser reads
  // no further (the bytes behind stay as they were, as LoadFile leaves them).
  const char* in = text;
  char* out = text;
  while (*in) {
    if (*in == '\r') {
      *out++ = '\n';
      if (*++in == '\n') ++in;
    } else {
      *out++ = *in++;
    }
  }
  *out = 0;
}

std::unique_ptr<char[]> readXmlText(std::FILE* file) {
  std::size_t size = 0;
  std::unique_ptr<char[]> text = readXmlBytes(file, size);
  if (text) normalizeXmlLineBreaks(text.get());
  return text;
}

}  // namespace bu
