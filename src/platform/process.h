// The process services of the 64-bit hand-over: whether this process runs
// under WOW64 (a 32-bit program on 64-bit Windows), whether a module file is
// an x64 image, and starting a program and waiting for its exit code.
#pragma once

#include <string>

namespace bu::platform {

// Windows: kernel32's "IsWow64Process", looked up at run time (32-bit
// Windows before XP SP2 lacks it) and called for this process; false when it
// is missing or fails. POSIX: never.
bool isWow64Process();

// Whether `path` is a loadable image whose file header names the x64
// machine. Windows maps it as an image section, read-only, and reads the
// headers itself from the view; a file that is not a loadable image (text,
// truncated, empty, missing) answers false. POSIX: never.
bool isImage64Bit(const std::wstring& path);

enum class ProcessRun { Finished, NotStarted, ExitCodeUnknown };

// Starts `application` (a relative name means the current directory's file;
// no search) with `commandLine` as its whole command line, this process's
// environment and current directory and no inherited handles, waits for it
// without time limit and stores its exit code. POSIX has no sibling program
// to hand over to and answers NotStarted.
ProcessRun runAndWait(const std::wstring& application, const std::wstring& commandLine,
                      unsigned& exitCode);

}  // namespace bu::platform
