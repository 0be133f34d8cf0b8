#include "platform/file_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/file_name_posix.h"
#include "platform/text.h"

namespace bu::platform {

std::wstring fileInCurrentDirectory(const std::wstring& name) {
  const std::unique_ptr<char, decltype(&std::free)> directory(getcwd(nullptr, 0), &std::free);
  if (directory == nullptr) return {};
  std::wstring path = ansiToWide(directory.get());
  if (path.empty() || path.back() != L'/') path += L'/';
  return path + name;
}

// Each prefix of the path that ends before a '/', then the whole path, is
// looked at without following it.
bool passesLink(const std::wstring& relativePath) {
  std::string path;
  // A name with no narrow form names no file that could be opened either.
  if (!toNarrow(relativePath, path)) return true;
  for (std::size_t end = path.find('/');; end = path.find('/', end + 1)) {
    struct stat status {};
    if (lstat(path.substr(0, end).c_str(), &status) != 0) return false;
    if (S_ISLNK(status.st_mode)) return true;
    if (end == std::string::npos) return false;
  }
}

}  // namespace bu::platform
