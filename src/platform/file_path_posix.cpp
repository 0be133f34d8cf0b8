#include "platform/file_path.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/text.h"

namespace bu::platform {

std::wstring fileInCurrentDirectory(const std::wstring& name) {
  const std::unique_ptr<char, decltype(&std::free)> directory(getcwd(nullptr, 0), &std::free);
  if (directory == nullptr) return {};
  std::wstring path = ansiToWide(directory.get());
  if (path.empty() || path.back() != L'/') path += L'/';
  return path + name;
}

}  // namespace bu::platform
