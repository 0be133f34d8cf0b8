// Runs one command and reports what it cost, as one line on standard output:
//   seconds=<wall> cpu_seconds=<user+system> max_rss_kb=<peak> exit_code=<n>
// (a command ended by a signal reports minus the signal's number).
//
//   bu_bench_launch <program> [<argument>...]
//
// The command's own output goes to /dev/null. The peak resident memory is the
// command's alone: a process keeps the largest of its images across exec, so
// a command started straight from the (much larger) harness would report the
// harness's size; this launcher is small and forks the command itself.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <program> [<argument>...]\n", argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    return 2;
  }
  if (child == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, STDIN_FILENO);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
    }
    ::execvp(argv[1], argv + 1);
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  pid_t done;
  do {
    done = ::wait4(child, &status, 0, &usage);
  } while (done < 0 && errno == EINTR);
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  if (done != child) {
    std::perror("wait4");
    return 2;
  }
  const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                     usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  std::printf("seconds=%.9f cpu_seconds=%.6f max_rss_kb=%ld exit_code=%d\n", wall.count(), cpu,
              usage.ru_maxrss, code);
  return 0;
}
