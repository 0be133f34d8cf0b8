#include "fuzz_support.h"

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "log/write_log.h"

namespace bu::fuzz {
namespace {

std::string& scratch() {
  static std::string directory;
  return directory;
}

[[noreturn]] void setupFailed(const char* what) {
  std::fprintf(stderr, "fuzz setup failed: %s: %s\n", what, std::strerror(errno));
  std::abort();
}

}  // namespace

void quietProcess() {
  if (!scratch().empty()) return;
  // In memory where the machine has it: every input rewrites a file and the
  // log, which on a disk file system costs a write-back each time.
  const char* base = std::getenv("BU_FUZZ_SCRATCH");
  if (base == nullptr || *base == '\0') base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string pattern = std::string(base) + "/bu-fuzz-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) setupFailed("mkdtemp");
  scratch() = pattern;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(scratch(), ignored);
  });
  if (::setenv("TMPDIR", pattern.c_str(), 1) != 0) setupFailed("setenv TMPDIR");
  if (::chdir(pattern.c_str()) != 0) setupFailed("chdir");

  const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (nothing < 0 || ::dup2(nothing, STDIN_FILENO) < 0) setupFailed("stdin");
  ::close(nothing);
  std::clearerr(stdin);
  // The stream, not the descriptor: stderr is a FILE* the C library lets a
  // program replace.
  std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) setupFailed("/dev/null");
  stderr = sink;
}

const std::string& scratchDirectory() { return scratch(); }

void discardLog() { ::unlink((scratch() + "/" + kLogFileName).c_str()); }

// Each locale is made once and then only switched to: setlocale on every
// input would allocate, which the fuzzer takes for a leak to chase.
void useLocale(const char* name) {
  static std::map<std::string, locale_t> made;
  locale_t& locale = made[name];
  if (locale == nullptr) locale = ::newlocale(LC_ALL_MASK, name, nullptr);
  if (locale == nullptr) setupFailed(name);
  ::uselocale(locale);
}

void invariantBroken(const char* what) {
  // fd 2 directly: the stderr stream goes to /dev/null.
  const char prefix[] = "==fuzz== invariant broken: ";
  [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, prefix, sizeof prefix - 1);
  ignored = ::write(STDERR_FILENO, what, std::strlen(what));
  ignored = ::write(STDERR_FILENO, "\n", 1);
  std::abort();
}

std::string textUpToNul(const std::uint8_t* data, std::size_t size) {
  const void* nul = std::memchr(data, 0, size);
  const std::size_t length =
      nul == nullptr ? size : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data);
  return std::string(reinterpret_cast<const char*>(data), length);
}

}  // namespace bu::fuzz
