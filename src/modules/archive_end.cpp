#include "modules/archive_end.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace bu {
namespace {

const char kRar5Signature[] = "Rar!\x1a\x07\x01\x00";
const char kRar4Signature[] = "Rar!\x1a\x07\x00";
constexpr std::uint64_t kRar5End = 5;
constexpr std::uint64_t kRar5HasExtra = 0x0001;
constexpr std::uint64_t kRar5HasData = 0x0002;
constexpr unsigned kRar4End = 0x7B;
constexpr unsigned kRar4File = 0x74;
constexpr unsigned kRar4Service = 0x7A;
constexpr unsigned kRar4LongBlock = 0x8000;
constexpr unsigned kRar4LargeFile = 0x0100;
// How far into the file the library looks for the signature.
constexpr std::uint64_t kSfxLimit = 0x200000;
// A header larger than this is no header (the format's own limit is 2 MB).
constexpr std::uint64_t kHeaderLimit = 2 * 1024 * 1024;

// Reads the file through a window of kWindow bytes: the headers of small
// entries lie close together, so most of them cost no read of their own.
class Reader {
 public:
  explicit Reader(const std::string& name) : file_(name, std::ios::binary) {
    file_.seekg(0, std::ios::end);
    size_ = file_ ? static_cast<std::uint64_t>(file_.tellg()) : 0;
  }
  bool ok() const { return static_cast<bool>(file_); }
  std::uint64_t size() const { return size_; }
  bool read(std::uint64_t at, void* into, std::size_t count) {
    if (at > size_ || count > size_ - at || count > kWindow) return false;
    if (at < start_ || at + count > start_ + filled_) {
      start_ = at;
      filled_ = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size_ - at));
      file_.clear();
      file_.seekg(static_cast<std::streamoff>(at));
      if (!file_.read(window_.data(), static_cast<std::streamsize>(filled_))) {
        filled_ = 0;
        return false;
      }
    }
    std::memcpy(into, window_.data() + (at - start_), count);
    return true;
  }

 private:
  static constexpr std::size_t kWindow = 64 * 1024;
  std::ifstream file_;
  std::uint64_t size_ = 0;
  std::vector<char> window_ = std::vector<char>(kWindow);
  std::uint64_t start_ = 0;
  std::size_t filled_ = 0;
};

// A RAR 5 variable-length integer: 7 bits a byte, low first.
bool readVint(Reader& in, std::uint64_t& at, std::uint64_t& value) {
  value = 0;
  for (unsigned shift = 0; shift < 64; shift += 7) {
    unsigned char byte = 0;
    if (!in.read(at++, &byte, 1)) return false;
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

bool rar5Complete(Reader& in, std::uint64_t at) {
  while (at < in.size()) {
    std::uint64_t cursor = at + 4;  // past the header's CRC32
    std::uint64_t headerSize = 0;
    if (!readVint(in, cursor, headerSize) || headerSize == 0 || headerSize > kHeaderLimit) {
      return false;
    }
    const std::uint64_t headerEnd = cursor + headerSize;
    std::uint64_t type = 0;
    std::uint64_t flags = 0;
    std::uint64_t extra = 0;
    std::uint64_t data = 0;
    if (!readVint(in, cursor, type) || !readVint(in, cursor, flags)) return false;
    if ((flags & kRar5HasExtra) != 0 && !readVint(in, cursor, extra)) return false;
    if ((flags & kRar5HasData) != 0 && !readVint(in, cursor, data)) return false;
    if (headerEnd > in.size()) return false;
    if (type == kRar5End) return true;
    if (data > in.size() - headerEnd) return false;
    at = headerEnd + data;
  }
  return false;
}

bool rar4Complete(Reader& in, std::uint64_t at) {
  while (at < in.size()) {
    unsigned char header[11];
    if (!in.read(at, header, 7)) return false;
    const unsigned type = header[2];
    const unsigned flags = header[3] | (header[4] << 8);
    const std::uint64_t size = header[5] | (header[6] << 8);
    if (size < 7 || at + size > in.size()) return false;
    if (type == kRar4End) return true;
    std::uint64_t data = 0;
    if ((flags & kRar4LongBlock) != 0 || type == kRar4File || type == kRar4Service) {
      if (size < 11 || !in.read(at + 7, header + 7, 4)) return false;
      data = header[7] | (header[8] << 8) | (header[9] << 16) |
             (static_cast<std::uint64_t>(header[10]) << 24);
      unsigned char high[4];
      if ((type == kRar4File || type == kRar4Service) && (flags & kRar4LargeFile) != 0) {
        if (size < 36 || !in.read(at + 32, high, 4)) return false;
        data |= static_cast<std::uint64_t>(high[0] | (high[1] << 8) | (high[2] << 16) |
                                           (static_cast<std::uint64_t>(high[3]) << 24))
                << 32;
      }
    }
    if (data > in.size() - at - size) return false;
    at += size + data;
  }
  return at == in.size();
}

}  // namespace

bool archiveIsComplete(const std::string& archiveName) {
  Reader in(archiveName);
  if (!in.ok()) return false;
  // The archive may follow a self-extracting module, as the library allows.
  for (std::uint64_t at = 0; at < kSfxLimit && at < in.size(); ++at) {
    char signature[8];
    if (in.read(at, signature, 8) && std::memcmp(signature, kRar5Signature, 8) == 0) {
      return rar5Complete(in, at + 8);
    }
    if (in.read(at, signature, 7) && std::memcmp(signature, kRar4Signature, 7) == 0) {
      return rar4Complete(in, at + 7);
    }
  }
  return false;
}

}  // namespace bu
