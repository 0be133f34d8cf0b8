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
constexpr std::uint64_t kRar5MoreVolumes = 0x0001;  // end of archive: not the last volume
constexpr unsigned kRar4Main = 0x73;
constexpr unsigned kRar4NewNumbering = 0x0010;    // main header: volumes name.partN.rar
constexpr unsigned kRar4End = 0x7B;
constexpr unsigned kRar4MoreVolumes = 0x0001;     // end of archive: a next volume follows
constexpr unsigned kRar4File = 0x74;
constexpr unsigned kRar4Service = 0x7A;
constexpr unsigned kRar4LongBlock = 0x8000;
constexpr unsigned kRar4LargeFile = 0x0100;
// How far into the file the library looks for the signature.
constexpr std::uint64_t kSfxLimit = 0x200000;
// A header larger than this is no header (the format's own limit is 2 MB).
constexpr std::uint64_t kHeaderLimit = 2 * 1024 * 1024;
// More volumes than any set holds: a chain of names that never ends is cut.
constexpr int kVolumeLimit = 100000;

// How a volume's walk ended.
enum class VolumeEnd {
  Cut,          // no end-of-archive record where the walk stopped
  Last,         // the record says no volume follows (or there is no set)
  MoreVolumes,  // the record says the next volume follows
};

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

VolumeEnd rar5End(Reader& in, std::uint64_t at) {
  while (at < in.size()) {
    std::uint64_t cursor = at + 4;  // past the header's CRC32
    std::uint64_t headerSize = 0;
    if (!readVint(in, cursor, headerSize) || headerSize == 0 || headerSize > kHeaderLimit) {
      return VolumeEnd::Cut;
    }
    const std::uint64_t headerEnd = cursor + headerSize;
    std::uint64_t type = 0;
    std::uint64_t flags = 0;
    std::uint64_t extra = 0;
    std::uint64_t data = 0;
    if (!readVint(in, cursor, type) || !readVint(in, cursor, flags)) return VolumeEnd::Cut;
    if ((flags & kRar5HasExtra) != 0 && !readVint(in, cursor, extra)) return VolumeEnd::Cut;
    if ((flags & kRar5HasData) != 0 && !readVint(in, cursor, data)) return VolumeEnd::Cut;
    if (headerEnd > in.size()) return VolumeEnd::Cut;
    if (type == kRar5End) {
      std::uint64_t endFlags = 0;
      if (!readVint(in, cursor, endFlags)) return VolumeEnd::Cut;
      return (endFlags & kRar5MoreVolumes) != 0 ? VolumeEnd::MoreVolumes : VolumeEnd::Last;
    }
    if (data > in.size() - headerEnd) return VolumeEnd::Cut;
    at = headerEnd + data;
  }
  return VolumeEnd::Cut;
}

VolumeEnd rar4End(Reader& in, std::uint64_t at, bool& newNumbering) {
  while (at < in.size()) {
    unsigned char header[11];
    if (!in.read(at, header, 7)) return VolumeEnd::Cut;
    const unsigned type = header[2];
    const unsigned flags = header[3] | (header[4] << 8);
    const std::uint64_t size = header[5] | (header[6] << 8);
    if (size < 7 || at + size > in.size()) return VolumeEnd::Cut;
    if (type == kRar4Main) newNumbering = (flags & kRar4NewNumbering) != 0;
    if (type == kRar4End) {
      return (flags & kRar4MoreVolumes) != 0 ? VolumeEnd::MoreVolumes : VolumeEnd::Last;
    }
    std::uint64_t data = 0;
    if ((flags & kRar4LongBlock) != 0 || type == kRar4File || type == kRar4Service) {
      if (size < 11 || !in.read(at + 7, header + 7, 4)) return VolumeEnd::Cut;
      data = header[7] | (header[8] << 8) | (header[9] << 16) |
             (static_cast<std::uint64_t>(header[10]) << 24);
      unsigned char high[4];
      if ((type == kRar4File || type == kRar4Service) && (flags & kRar4LargeFile) != 0) {
        if (size < 36 || !in.read(at + 32, high, 4)) return VolumeEnd::Cut;
        data |= static_cast<std::uint64_t>(high[0] | (high[1] << 8) | (high[2] << 16) |
                                           (static_cast<std::uint64_t>(high[3]) << 24))
                << 32;
      }
    }
    if (data > in.size() - at - size) return VolumeEnd::Cut;
    at += size + data;
  }
  // The record is optional in RAR 1.5-4: the last block ending exactly at
  // the end of the file ends it as well.
  return at == in.size() ? VolumeEnd::Last : VolumeEnd::Cut;
}

// How the volume `name` ends; `newNumbering` learns its set's naming.
VolumeEnd volumeEnd(const std::string& name, bool& newNumbering) {
  Reader in(name);
  if (!in.ok()) return VolumeEnd::Cut;
  // The archive may follow a self-extracting module, as the library allows.
  for (std::uint64_t at = 0; at < kSfxLimit && at < in.size(); ++at) {
    char signature[8];
    if (in.read(at, signature, 8) && std::memcmp(signature, kRar5Signature, 8) == 0) {
      newNumbering = true;
      return rar5End(in, at + 8);
    }
    if (in.read(at, signature, 7) && std::memcmp(signature, kRar4Signature, 7) == 0) {
      return rar4End(in, at + 7, newNumbering);
    }
  }
  return VolumeEnd::Cut;
}


}  // namespace

std::string nextVolumeName(std::string name, bool newNumbering) {
  const std::size_t separator = name.find_last_of("/\\");
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return {};
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  // A self-extracting first volume: its followers are .rar volumes.
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (extension == "exe" || extension == "sfx") name.replace(dot + 1, std::string::npos, "rar");
  if (newNumbering) {
    std::size_t begin = dot;
    while (begin > 0 && isDigit(name[begin - 1])) --begin;
    if (begin == dot) return {};
    for (std::size_t i = dot; i-- > begin;) {
      if (name[i] != '9') {
        ++name[i];
        return name;
      }
      name[i] = '0';
    }
    name.insert(begin, "1");
    return name;
  }
  // ".rar" (or any extension without two digits after its letter) to
  // ".r00"; then the last characters count up, "r99" becoming "s00".
  if (name.size() - dot < 4) return {};
  if (!isDigit(name[dot + 2]) || !isDigit(name[dot + 3])) {
    name.replace(dot + 2, std::string::npos, "00");
    return name;
  }
  for (std::size_t i = name.size() - 1; ++name[i] == '9' + 1; --i) {
    if (name[i - 1] == '.') {
      name[i] = 'a';
      break;
    }
    name[i] = '0';
  }
  return name;
}

bool archiveIsComplete(const std::string& archiveName) {
  // A set of volumes is complete when each volume's record names a next one
  // and the last one's says it is the last: a later volume cut between its
  // headers is found as well as the first.
  std::string volume = archiveName;
  bool newNumbering = false;
  for (int count = 0; count < kVolumeLimit; ++count) {
    switch (volumeEnd(volume, newNumbering)) {
      case VolumeEnd::Cut:
        return false;
      case VolumeEnd::Last:
        return true;
      case VolumeEnd::MoreVolumes:
        break;
    }
    volume = nextVolumeName(volume, newNumbering);
    if (volume.empty()) return false;
  }
  return false;
}

}  // namespace bu
