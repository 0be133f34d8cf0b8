#include "trust/manifest_image.h"

#include <cstdint>

namespace bu {
namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kHeadersSize = kFileAlignment;
constexpr std::uint32_t kResourceRva = kSectionAlignment;
constexpr std::uint32_t kNewHeaderOffset = 0x40;
constexpr std::uint32_t kOptionalHeaderSize = 224;  // PE32 with 16 data directories
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kRcData = 10;
constexpr std::uint32_t kTextId = 1;
constexpr std::uint32_t kSubdirectory = 0x80000000u;
// The resource tree (root, type, name; one entry each) and the data entry,
// then the text.
constexpr std::uint32_t kTypeLevel = 24;
constexpr std::uint32_t kNameLevel = 48;
constexpr std::uint32_t kDataEntry = 72;
constexpr std::uint32_t kTextOffset = 88;

std::uint32_t alignedUp(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

class Writer {
 public:
  explicit Writer(std::vector<unsigned char>& image) : image_(image) {}
  void u16(std::size_t at, std::uint32_t value) {
    image_[at] = static_cast<unsigned char>(value);
    image_[at + 1] = static_cast<unsigned char>(value >> 8);
  }
  void u32(std::size_t at, std::uint32_t value) {
    u16(at, value & 0xFFFF);
    u16(at + 2, value >> 16);
  }
  // A resource directory of one id entry.
  void directory(std::size_t at, std::uint32_t id, std::uint32_t target) {
    u16(at + 14, 1);
    u32(at + 16, id);
    u32(at + 20, target);
  }

 private:
  std::vector<unsigned char>& image_;
};

// Bounds-checked little-endian reads; any read outside the image fails the
// whole parse.
class Reader {
 public:
  Reader(const unsigned char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
  bool u16(std::uint64_t at, std::uint32_t& value) const {
    if (at + 2 > size_) return false;
    value = bytes_[at] | (std::uint32_t{bytes_[at + 1]} << 8);
    return true;
  }
  bool u32(std::uint64_t at, std::uint32_t& value) const {
    std::uint32_t low = 0, high = 0;
    if (!u16(at, low) || !u16(at + 2, high)) return false;
    value = low | (high << 16);
    return true;
  }
  std::size_t size() const { return size_; }
  const unsigned char* at(std::uint64_t offset) const { return bytes_ + offset; }

 private:
  const unsigned char* bytes_;
  std::size_t size_;
};

struct Section {
  std::uint32_t rva, virtualSize, rawSize, rawOffset;
};

// The file offset of `size` bytes at `rva`, when one section's raw data
// holds them all.
bool fileOffset(const Reader& image, const std::vector<Section>& sections, std::uint32_t rva,
                std::uint32_t size, std::uint64_t& offset) {
  for (const Section& section : sections) {
    if (rva < section.rva) continue;
    const std::uint64_t inside = rva - section.rva;
    if (inside + size > section.rawSize) continue;
    offset = std::uint64_t{section.rawOffset} + inside;
    return offset + size <= image.size();
  }
  return false;
}

// The target of the entry of directory `directory` (an offset in the
// resource section) with `id`, or of its first entry when `id` is 0.
bool entryTarget(const Reader& image, std::uint64_t root, std::uint64_t directory,
                 std::uint32_t id, bool subdirectory, std::uint64_t& target) {
  std::uint32_t named = 0, ids = 0;
  if (!image.u16(root + directory + 12, named) || !image.u16(root + directory + 14, ids)) {
    return false;
  }
  for (std::uint32_t i = named; i < named + ids; ++i) {
    std::uint32_t name = 0, offset = 0;
    const std::uint64_t entry = root + directory + 16 + 8 * std::uint64_t{i};
    if (!image.u32(entry, name) || !image.u32(entry + 4, offset)) return false;
    if (id != 0 && name != id) continue;
    if (((offset & kSubdirectory) != 0) != subdirectory) return false;
    target = offset & ~kSubdirectory;
    return true;
  }
  return false;
}

}  // namespace

std::vector<unsigned char> manifestImage(const std::string& text) {
  const std::uint32_t resourceSize = kTextOffset + static_cast<std::uint32_t>(text.size());
  const std::uint32_t rawSize = alignedUp(resourceSize, kFileAlignment);
  std::vector<unsigned char> image(kHeadersSize + rawSize, 0);
  Writer w(image);
  image[0] = 'M';
  image[1] = 'Z';
  w.u32(0x3C, kNewHeaderOffset);
  const std::size_t pe = kNewHeaderOffset;
  image[pe] = 'P';
  image[pe + 1] = 'E';
  const std::size_t file = pe + 4;
  w.u16(file, 0x14C);                  // i386: the machine of a data-only image does not matter
  w.u16(file + 2, 1);                  // one section
  w.u16(file + 16, kOptionalHeaderSize);
  w.u16(file + 18, 0x2102);            // an executable image, 32-bit, a DLL
  const std::size_t optional = file + 20;
  w.u16(optional, 0x10B);              // PE32
  w.u32(optional + 8, rawSize);        // initialised data
  w.u32(optional + 24, kResourceRva);  // base of data
  w.u32(optional + 28, 0x10000000);    // image base
  w.u32(optional + 32, kSectionAlignment);
  w.u32(optional + 36, kFileAlignment);
  w.u16(optional + 40, 6);             // operating system version 6.0
  w.u16(optional + 48, 6);             // subsystem version 6.0
  w.u32(optional + 56, kResourceRva + alignedUp(resourceSize, kSectionAlignment));
  w.u32(optional + 60, kHeadersSize);
  w.u16(optional + 68, 2);             // the Windows GUI subsystem
  w.u16(optional + 70, 0x0540);        // relocatable, NX-compatible, no exception handlers
  w.u32(optional + 72, 0x100000);
  w.u32(optional + 76, 0x1000);
  w.u32(optional + 80, 0x100000);
  w.u32(optional + 84, 0x1000);
  w.u32(optional + 92, 16);            // data directories
  w.u32(optional + 96 + 8 * kResourceDirectory, kResourceRva);
  w.u32(optional + 100 + 8 * kResourceDirectory, resourceSize);
  const std::size_t section = optional + kOptionalHeaderSize;
  const char name[] = ".rsrc";
  for (std::size_t i = 0; i + 1 < sizeof name; ++i) image[section + i] = name[i];
  w.u32(section + 8, resourceSize);
  w.u32(section + 12, kResourceRva);
  w.u32(section + 16, rawSize);
  w.u32(section + 20, kHeadersSize);
  w.u32(section + 36, 0x40000040);     // initialised data, readable

  const std::size_t resources = kHeadersSize;
  w.directory(resources, kRcData, kSubdirectory | kTypeLevel);
  w.directory(resources + kTypeLevel, kTextId, kSubdirectory | kNameLevel);
  w.directory(resources + kNameLevel, 0, kDataEntry);  // language neutral
  w.u32(resources + kDataEntry, kResourceRva + kTextOffset);
  w.u32(resources + kDataEntry + 4, static_cast<std::uint32_t>(text.size()));
  for (std::size_t i = 0; i < text.size(); ++i) {
    image[resources + kTextOffset + i] = static_cast<unsigned char>(text[i]);
  }
  return image;
}

std::optional<std::string> manifestImageText(const unsigned char* bytes, std::size_t size) {
  const Reader image(bytes, size);
  std::uint32_t pe = 0, sectionCount = 0, optionalSize = 0, magic = 0;
  if (size < 2 || bytes[0] != 'M' || bytes[1] != 'Z' || !image.u32(0x3C, pe) ||
      pe + std::uint64_t{24} > size || bytes[pe] != 'P' || bytes[pe + 1] != 'E' ||
      bytes[pe + 2] != 0 || bytes[pe + 3] != 0 || !image.u16(pe + 6, sectionCount) ||
      !image.u16(pe + 20, optionalSize) || !image.u16(pe + 24, magic)) {
    return std::nullopt;
  }
  const std::uint64_t optional = std::uint64_t{pe} + 24;
  std::uint64_t directories = 0;
  if (magic == 0x10B) {
    directories = optional + 92;
  } else if (magic == 0x20B) {
    directories = optional + 108;
  } else {
    return std::nullopt;
  }
  std::uint32_t directoryCount = 0, resourceRva = 0, resourceSize = 0;
  if (!image.u32(directories, directoryCount) || directoryCount <= kResourceDirectory ||
      directories + 4 + 8 * std::uint64_t{kResourceDirectory} + 8 > optional + optionalSize ||
      !image.u32(directories + 4 + 8 * kResourceDirectory, resourceRva) ||
      !image.u32(directories + 8 + 8 * kResourceDirectory, resourceSize)) {
    return std::nullopt;
  }
  std::vector<Section> sections;
  for (std::uint32_t i = 0; i < sectionCount; ++i) {
    const std::uint64_t at = optional + optionalSize + 40 * std::uint64_t{i};
    Section s{};
    if (!image.u32(at + 8, s.virtualSize) || !image.u32(at + 12, s.rva) ||
        !image.u32(at + 16, s.rawSize) || !image.u32(at + 20, s.rawOffset)) {
      return std::nullopt;
    }
    sections.push_back(s);
  }
  std::uint64_t root = 0, type = 0, name = 0, entry = 0, text = 0;
  std::uint32_t textRva = 0, textSize = 0;
  if (!fileOffset(image, sections, resourceRva, resourceSize, root) ||
      !entryTarget(image, root, 0, kRcData, true, type) ||
      !entryTarget(image, root, type, kTextId, true, name) ||
      !entryTarget(image, root, name, 0, false, entry) || entry + 16 > resourceSize ||
      !image.u32(root + entry, textRva) || !image.u32(root + entry + 4, textSize) ||
      !fileOffset(image, sections, textRva, textSize, text)) {
    return std::nullopt;
  }
  return std::string(reinterpret_cast<const char*>(image.at(text)), textSize);
}

}  // namespace bu
