// One WriteLog line against the bare minimum the same line needs: open the
// file for appending, write the same bytes, flush, close.
//
//   bu_bench_log <lines-per-round> <rounds>
//
// Both append to files of their own in $TMPDIR (WriteLog's log, and a file
// beside it), emptied before every round so that neither grows.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "bench_timing.h"
#include "log/write_log.h"

namespace {

// A typical line of a run, of typical length.
const char kMessage[] =
    "AUTH TVXSIGNED SUCCESS: Successfully verified Tarvenix Signature for the authorization dll "
    "TestAuth2.dll";

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "bu_bench_log: %s\n", what);
  std::exit(1);
}

void empty(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) fail("cannot empty a log file");
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) fail("usage: bu_bench_log <lines-per-round> <rounds>");
  const long lines = std::atol(argv[1]);
  const int rounds = std::atoi(argv[2]);
  const char* tmp = std::getenv("TMPDIR");
  if (tmp == nullptr || *tmp == '\0') fail("TMPDIR must name the benchmark's own directory");
  const std::string logPath = std::string(tmp) + "/" + bu::kLogFileName;
  const std::string barePath = std::string(tmp) + "/bare-append.txt";
  // The same bytes WriteLog writes, timestamp included.
  const std::string line = bu::composeLogLine(std::time(nullptr), kMessage);

  const auto ours = [&] {
    empty(logPath);
    for (long i = 0; i < lines; ++i) bu::WriteLog("%s", kMessage);
  };
  const auto bare = [&] {
    empty(barePath);
    for (long i = 0; i < lines; ++i) {
      std::FILE* file = std::fopen(barePath.c_str(), "a");
      if (file == nullptr) fail("cannot open the bare file");
      std::fputs(line.c_str(), file);
      std::fflush(file);
      std::fclose(file);
    }
  };
  const bench::Medians medians = bench::alternate(rounds, ours, bare);
  bench::report("log_line", {medians.ours / lines, medians.reference / lines});
  return 0;
}
