// What every fuzz target shares: a quiet process whose log and boxes go
// nowhere a human or the fuzzer's own output would see them, the two kinds
// of locale the POSIX program runs in, and invariant checks that stop the
// run the way a sanitizer does, so that the fuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bu::fuzz {

// Once per process: TMPDIR and the current directory become a fresh scratch
// directory (the log and any package file land there; in /dev/shm when it
// is writable, else /tmp, or below $BU_FUZZ_SCRATCH; removed at a normal
// exit), stdin reads as
// closed (a Yes/No box answers No), and the C library's stderr stream, to
// which the POSIX boxes are written, goes to /dev/null. The sanitizers and
// the fuzzer write to file descriptor 2 directly and are still seen.
void quietProcess();

// The scratch directory quietProcess made.
const std::string& scratchDirectory();

// Removes the log the last input wrote, so that millions of runs never fill
// the disk.
void discardLog();

// The locales the program's 8-bit texts are read in: single-byte ("C",
// every byte a character) and UTF-8 (multi-byte, with invalid sequences).
constexpr const char* kLocales[] = {"C", "C.UTF-8"};
void useLocale(const char* name);

// Ends the run with a report on fd 2 and abort(), as a sanitizer finding.
[[noreturn]] void invariantBroken(const char* what);
inline void check(bool holds, const char* what) {
  if (!holds) invariantBroken(what);
}

// The input as text, up to its first NUL (what an environment variable or a
// C string can hold).
std::string textUpToNul(const std::uint8_t* data, std::size_t size);

}  // namespace bu::fuzz
