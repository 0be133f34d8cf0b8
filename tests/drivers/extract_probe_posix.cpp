// POSIX entry point of the extraction driver: the arguments are 8-bit text
// in the locale's character set, as the program reads them.
#include <clocale>
#include <cstdio>

#include "extract_probe.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  // As the program does first: non-ASCII names reach the disk only in the
  // user's (UTF-8) locale.
  std::setlocale(LC_ALL, "");
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <archive> <destination>\n", argv[0]);
    return 2;
  }
  return bu::test::runExtractProbe(bu::platform::ansiToWide(argv[1]),
                                   bu::platform::ansiToWide(argv[2]));
}
