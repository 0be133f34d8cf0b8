// Entry point of the POSIX program.
#include <clocale>
#include <string>

#include "app/startup.h"
#include "platform/command_line_posix.h"

int main(int argc, char** argv) {
  // 8-bit texts are in the locale's character set, as they are in the ANSI
  // code page on Windows.
  std::setlocale(LC_ALL, "");
  bu::platform::setProcessArguments(argc, argv);

  // The command-line tail: the arguments after the program name, as typed.
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  return bu::runUpdater(nullptr, tail.c_str());
}
