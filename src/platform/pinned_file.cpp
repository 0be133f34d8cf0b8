// What both ports' pinned files share. The special members live with each
// port's native state, which only that port's file defines.
#include "platform/pinned_file.h"

namespace bu::platform {

bool PinnedFile::isOpen() const { return native_ != nullptr; }

const std::wstring& PinnedFile::fullPath() const { return fullPath_; }

}  // namespace bu::platform
