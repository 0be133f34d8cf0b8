// Windows entry point of the extraction driver: the arguments arrive as wide
// text, so a destination outside the ANSI code page reaches the binding
// whole.
#include <cstdio>

#include "extract_probe.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fwprintf(stderr, L"usage: %ls <archive> <destination>\n", argv[0]);
    return 2;
  }
  return bu::test::runExtractProbe(argv[1], argv[2]);
}
