// Runs the program's signature check on each file named on the command line,
// in one process, and prints one line per file: "<file>: true|false <ms> ms",
// followed by " still open" when the file, though present, cannot be opened
// for writing after its check: on Windows a handle the check forgot to close
// keeps others from writing to it.
// Exit code: 0 when every file passed, 1 when any was refused, 2 on misuse.
// The check's log lines go to the log file, as in the program.
#include <chrono>
#include <clocale>
#include <cstdio>

#include "platform/text.h"
#include "trust/publisher_signature.h"

namespace {

bool stillOpen(const char* path) {
  std::FILE* reading = std::fopen(path, "rb");
  if (reading == nullptr) return false;  // missing: nothing to hold
  std::fclose(reading);
  std::FILE* writing = std::fopen(path, "r+b");
  if (writing == nullptr) return true;
  std::fclose(writing);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <file>...\n", argv[0]);
    return 2;
  }
  bool allPassed = true;
  for (int i = 1; i < argc; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const bool passed = bu::verifyPublisherSignature(bu::platform::ansiToWide(argv[i]));
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("%s: %s %.2f ms%s\n", argv[i], passed ? "true" : "false", took.count(),
                stillOpen(argv[i]) ? " still open" : "");
    allPassed = allPassed && passed;
  }
  return allPassed ? 0 : 1;
}
