// The whole extraction, fed a mutated archive: the program's own extraction
// path (entry checks, the staging directory, the move into place) with the
// real UnRAR library, into a private directory made afresh for each input.
// Whatever the archive holds, nothing outside the destination may be
// created, changed or read: the sentinel tree beside it, reached from the
// destination through planted links ("p" to the tree, "f" to its secret
// file), must come out as it went in, and the secret's bytes must never
// appear in a file below the destination.
//
// The secret is fresh random bytes written for each execution, after its
// input is fixed: the fuzzer learns the values the target compares, so a
// constant secret would soon be put into an archive, and extracted
// faithfully from the archive's own data. A fresh one is not in the input
// (one that is, by a chance of 2^-256, is drawn again), so a file holding it
// was copied from outside.
//
// Input: the archive's bytes. The library is Debian's libunrar.so.5.
#include <sys/random.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "modules/unrar_binding_passes.h"
#include "platform/code_module.h"
#include "platform/pinned_file.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSecretSize = 32;

const bu::platform::CodeModule* library = nullptr;

// Every path below `root` with its kind, mode and content or link target.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> found;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path& path = it->path();
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) continue;
    std::ostringstream text;
    text << std::oct << status.st_mode << ' ';
    if (S_ISLNK(status.st_mode)) {
      text << fs::read_symlink(path, error).string();
    } else if (S_ISREG(status.st_mode)) {
      text << std::ifstream(path, std::ios::binary).rdbuf();
    }
    found[fs::relative(path, root).string()] = text.str();
  }
  return found;
}

std::string freshSecret(const std::string& input) {
  std::string secret(kSecretSize, '\0');
  do {
    bu::fuzz::check(::getrandom(secret.data(), secret.size(), 0) ==
                        static_cast<ssize_t>(secret.size()),
                    "no random bytes for the secret");
  } while (input.find(secret) != std::string::npos);
  return secret;
}

bool holdsSecret(const fs::path& destination, const std::string& secret) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(destination, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file(error) || it->is_symlink(error)) continue;
    std::ostringstream content;
    content << std::ifstream(it->path(), std::ios::binary).rdbuf();
    if (content.str().find(secret) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  bu::fuzz::quietProcess();
  bu::fuzz::useLocale("C.UTF-8");
  static bu::platform::PinnedFile file = bu::platform::PinnedFile::open(BU_UNRAR_LIBRARY_WIDE);
  static bu::platform::CodeModule loaded =
      bu::platform::CodeModule::load(file, bu::platform::ModuleDependencies::SystemOnly);
  bu::fuzz::check(static_cast<bool>(loaded), "the UnRAR library could not be loaded");
  library = &loaded;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path root = fs::path(bu::fuzz::scratchDirectory()) / "extraction";
  std::error_code error;
  fs::remove_all(root, error);
  const fs::path outside = root / "outside";
  const fs::path destination = root / "destination";
  fs::create_directories(outside / "dir");
  fs::create_directories(destination);
  const std::string secret =
      freshSecret(std::string(reinterpret_cast<const char*>(data), size));
  std::ofstream(outside / "secret.txt", std::ios::binary) << secret;
  fs::permissions(outside / "secret.txt", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directory_symlink("../outside", destination / "p");
  fs::create_symlink("../outside/secret.txt", destination / "f");
  const fs::path archive = root / "update.rar";
  std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), size);

  const auto before = snapshot(outside);
  bu::extractEntries(*library, archive.string(), bu::platform::ansiToWide(destination.string()),
                     "destination");

  bu::fuzz::check(snapshot(outside) == before, "the tree beside the destination changed");
  bu::fuzz::check(!holdsSecret(destination, secret), "a file outside was read into the destination");
  for (const auto& entry : fs::directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    bu::fuzz::check(name == "outside" || name == "destination" || name == "update.rar",
                    "something was created beside the destination");
  }
  fs::remove_all(root, error);
  bu::fuzz::discardLog();
  return 0;
}
