// The command line: /?, /q, /list, /extract <file> <path>, /r, /tvxoem.
#pragma once

namespace bu {

// Reads the arguments from the environment variable "sfxcmd" when it exists
// (even empty), else from the process's command line; checks them against
// the grammar, logs every decision and fills runOptions. `commandLineTail` is
// the command line after the program name, quoted by the invalid-arguments
// log line only. Answers 0 (go on), 112 (invalid) or 113 (help shown).
int parseCommandLine(const char* commandLineTail);

}  // namespace bu
