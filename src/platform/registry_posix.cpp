#include "platform/registry_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/environment.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/unique_descriptor_posix.h"

namespace bu::platform {

const char kDefaultRegistryRoot[] = "/etc/brevant-updater/registry";

namespace {

// The 8-bit file name for a wide key or value name; false when the name
// cannot be a file name in a directory, or does not survive the conversion
// (a character the locale lacks would turn into '?' and name another file).
bool fileNameFor(const std::wstring& name, std::string& fileName) {
  fileName = wideToAnsi(name);
  return isRegistryFileName(fileName) && ansiToWide(fileName) == name;
}

// Reads at most `limit` bytes from the start of the file.
bool readPrefix(int descriptor, std::size_t limit, std::vector<unsigned char>& bytes) {
  bytes.resize(limit);
  std::size_t done = 0;
  while (done < limit) {
    const ssize_t got = ::read(descriptor, bytes.data() + done, limit - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return true;
}

}  // namespace

std::string registryRoot() {
  const std::optional<std::string> root = environmentVariable("BU_REGISTRY_ROOT");
  return root && !root->empty() ? *root : std::string(kDefaultRegistryRoot);
}

bool isRegistryFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

std::optional<std::wstring> decodeRegistryValue(const unsigned char* bytes, std::size_t size) {
  if (size > 0 && bytes[size - 1] == '\n') --size;
  if (size > kRegistryDataCapacity) return std::nullopt;
  if (size == 0) return std::wstring();
  const void* nul = std::memchr(bytes, '\0', size);
  if (nul != nullptr) size = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - bytes);
  return ansiToWide(std::string(reinterpret_cast<const char*>(bytes), size));
}

long RegistryKey::open(const std::wstring& path, bool /*use64BitView: one view here*/) {
  close();
  std::string directory = registryRoot();
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    // ".." would leave the hive; no key of that name can exist here.
    std::string fileName;
    if (!fileNameFor(component, fileName)) return kRegistryKeyNotFound;
    directory += '/';
    directory += fileName;
  }
  const int descriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) {
    return errno == EACCES || errno == EPERM ? kRegistryAccessDenied : kRegistryKeyNotFound;
  }
  handle_ = descriptor;
  open_ = true;
  return 0;
}

// The value file itself must be a regular file: a symbolic link is not
// followed, so the data is never some other file's bytes.
bool RegistryKey::queryString(const std::wstring& name, std::wstring& data) const {
  data.clear();
  std::string fileName;
  if (!open_ || !fileNameFor(name, fileName)) return false;
  const UniqueDescriptor file(::openat(static_cast<int>(handle_), fileName.c_str(),
                                 O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
  struct stat status {};
  if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return false;
  }
  // Two bytes beyond the capacity: a trailing newline, and one more to tell
  // a value that is too large, however long the file is or grows.
  std::vector<unsigned char> bytes;
  if (!readPrefix(file.get(), kRegistryDataCapacity + 2, bytes)) return false;
  std::optional<std::wstring> text = decodeRegistryValue(bytes.data(), bytes.size());
  if (!text) return false;
  data = std::move(*text);
  return true;
}

bool RegistryKey::queryNumber(const std::wstring& name, std::uint32_t& value) const {
  std::wstring text;
  if (!queryString(name, text) || text.empty() || text.size() > 10) return false;
  std::uint64_t number = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    number = number * 10 + static_cast<std::uint64_t>(c - L'0');
  }
  if (number > 0xFFFFFFFFu) return false;
  value = static_cast<std::uint32_t>(number);
  return true;
}

void RegistryKey::close() {
  if (!open_) return;
  ::close(static_cast<int>(handle_));
  handle_ = 0;
  open_ = false;
}

}  // namespace bu::platform
