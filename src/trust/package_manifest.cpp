#include "trust/package_manifest.h"

#include <cstdio>

#include "config/ascii_case.h"
#include "trust/manifest_image.h"

namespace bu {

const wchar_t kManifestFileName[] = L"buManifest.dll";
const char kManifestFileNameText[] = "buManifest.dll";

namespace {

const char kHeader[] = "bu-manifest 1";
const char kRecord[] = "sha256 ";
const char kEnd[] = "end";
const char kHexDigits[] = "0123456789abcdef";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string escapedName(const std::string& name) {
  std::string text;
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= '!' && byte <= '~' && byte != '%') {
      text += c;
    } else {
      text += '%';
      text += kHexDigits[byte >> 4];
      text += kHexDigits[byte & 15];
    }
  }
  return text;
}

std::optional<std::string> unescapedName(std::string_view text) {
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte < '!' || byte > '~') return std::nullopt;
    if (byte != '%') {
      name += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hexValue(text[i + 1]);
    const int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    name += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (name.empty()) return std::nullopt;
  return name;
}

std::optional<platform::Sha256Digest> parsedDigest(std::string_view text) {
  platform::Sha256Digest digest{};
  if (text.size() != digest.size() * 2) return std::nullopt;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = hexValue(text[2 * i]);
    const int low = hexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return digest;
}

// The next LF-terminated line of `text` from `at`; null when no LF follows.
std::optional<std::string_view> nextLine(std::string_view text, std::size_t& at) {
  const std::size_t end = text.find('\n', at);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view line = text.substr(at, end - at);
  at = end + 1;
  return line;
}

}  // namespace

const ManifestRecord* PackageManifest::find(const std::string& name) const {
  const std::string wanted = lowerCasedAscii(name);
  for (const ManifestRecord& record : records_) {
    if (lowerCasedAscii(record.name) == wanted) return &record;
  }
  return nullptr;
}

std::string manifestText(const std::vector<ManifestRecord>& records) {
  std::string text = std::string(kHeader) + '\n';
  for (const ManifestRecord& record : records) {
    text += kRecord + digestText(record.digest) + ' ' + escapedName(record.name) + '\n';
  }
  return text + kEnd + '\n';
}

std::optional<PackageManifest> parseManifestText(std::string_view text) {
  std::size_t at = 0;
  const std::optional<std::string_view> header = nextLine(text, at);
  if (!header || *header != kHeader) return std::nullopt;
  std::vector<ManifestRecord> records;
  for (;;) {
    const std::optional<std::string_view> line = nextLine(text, at);
    if (!line) return std::nullopt;
    if (*line == kEnd) break;
    const std::string_view prefix(kRecord);
    const std::size_t digestEnd = prefix.size() + 64;
    if (line->substr(0, prefix.size()) != prefix || line->size() <= digestEnd + 1 ||
        (*line)[digestEnd] != ' ') {
      return std::nullopt;
    }
    const auto digest = parsedDigest(line->substr(prefix.size(), 64));
    const auto name = unescapedName(line->substr(digestEnd + 1));
    if (!digest || !name) return std::nullopt;
    for (const ManifestRecord& record : records) {
      if (lowerCasedAscii(record.name) == lowerCasedAscii(*name)) return std::nullopt;
    }
    records.push_back({*name, *digest});
  }
  return PackageManifest(std::move(records));
}

std::optional<PackageManifest> manifestOfImage(
    const std::optional<std::vector<unsigned char>>& image) {
  if (!image) return std::nullopt;
  const std::optional<std::string> text = manifestImageText(image->data(), image->size());
  if (!text) return std::nullopt;
  return parseManifestText(*text);
}

std::string digestText(const platform::Sha256Digest& digest) {
  std::string text;
  for (const unsigned char byte : digest) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 15];
  }
  return text;
}

}  // namespace bu
