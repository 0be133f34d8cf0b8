#include "modules/unrar_archive.h"

#include <algorithm>
#include <iterator>

namespace bu {
namespace {

// The characters of a fixed-size text field up to its terminator; `complete`
// is false when the field holds no terminator, so the text may be cut short.
std::wstring fieldText(const wchar_t* field, std::size_t capacity, bool& complete) {
  const wchar_t* end = std::find(field, field + capacity, L'\0');
  complete = end != field + capacity && static_cast<std::size_t>(end - field) + 1 < capacity;
  return std::wstring(field, end);
}

}  // namespace

HeaderWalk::HeaderWalk(ReadHeaderEx readHeader, ArchiveHandle archive)
    : readHeader_(readHeader), archive_(archive), linkTarget_(kLinkTargetCapacity) {
  std::memset(&header_, 0, sizeof header_);
}

int HeaderWalk::next() {
  linkTarget_.front() = L'\0';
  header_.RedirName = linkTarget_.data();
  header_.RedirNameSize = kLinkTargetCapacity;
  const int read = readHeader_(archive_, &header_);
  if (read != ERAR_SUCCESS) return read;
  name_ = fieldText(header_.FileNameW, std::size(header_.FileNameW), nameComplete_);
  targetComplete_ = true;
  target_.clear();
  if (link()) target_ = fieldText(linkTarget_.data(), kLinkTargetCapacity, targetComplete_);
  return read;
}

bool HeaderWalk::accepted() const {
  if (targetInData()) return isEntryConfined(name_, kNotALink, L"");
  return nameComplete_ && targetComplete_ && isEntryConfined(name_, header_.RedirType, target_);
}

}  // namespace bu
