// Runs the module contract on one entry, as the engine does, and prints each
// step's code:
//
//   module_probe [--auth-only] [--rollback] [--oem] <auth module> <deploy module>
//                <auth content type> <deploy content type>
//
//   loadModules <code>
//   authorizeAndLocate <code> <deployment path>
//   postProcess <code>
//   releaseModules
//
// It stops at the first non-zero code, goes straight to releaseModules and
// exits with that code (0 when every step succeeded, 2 on misuse). The
// contract's log lines go to the log file, as in the program.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "modules/entry_modules.h"
#include "platform/text.h"

namespace {

int run(bool authOnly, bool rollback, bool oem, char** names) {
  using bu::platform::ansiToWide;
  bu::EntryModules record(L"Update1.rar", L"Probe update");
  int code = bu::loadModules(record, ansiToWide(names[0]), ansiToWide(names[1]), authOnly);
  std::printf("loadModules %d\n", code);
  if (code == 0) {
    code = bu::authorizeAndLocate(names[3], record, names[2], rollback, authOnly);
    std::printf("authorizeAndLocate %d %s\n", code,
                bu::platform::wideToAnsi(record.deploymentPath).c_str());
  }
  if (code == 0 && !authOnly) {
    code = bu::postProcess(rollback, record, oem);
    std::printf("postProcess %d\n", code);
  }
  std::fflush(stdout);
  bu::releaseModules(record);
  std::printf("releaseModules\n");
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  bool authOnly = false;
  bool rollback = false;
  bool oem = false;
  int first = 1;
  for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
    if (std::strcmp(argv[first], "--auth-only") == 0) {
      authOnly = true;
    } else if (std::strcmp(argv[first], "--rollback") == 0) {
      rollback = true;
    } else if (std::strcmp(argv[first], "--oem") == 0) {
      oem = true;
    } else {
      break;
    }
  }
  if (argc - first != 4) {
    std::fprintf(stderr,
                 "usage: %s [--auth-only] [--rollback] [--oem] <auth module> <deploy module> "
                 "<auth content type> <deploy content type>\n",
                 argv[0]);
    return 2;
  }
  return run(authOnly, rollback, oem, argv + first);
}
