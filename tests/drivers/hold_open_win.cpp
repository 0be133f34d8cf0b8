// Holds a file open without sharing it, as a program using it would:
//
//   hold_open <file> [seconds]
//
// Opens <file> for reading with share mode 0 (nobody else may read, write,
// rename or delete it), prints "held" once it does, and keeps it open until
// its standard input ends, or for at most [seconds] (60 by default) so that a
// test that dies never leaves it behind. Exit code 0; 2 when the file cannot
// be opened.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

DWORD WINAPI endAfter(void* seconds) {
  Sleep(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(seconds)) * 1000);
  ExitProcess(0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 3) {
    std::fwprintf(stderr, L"usage: %ls <file> [seconds]\n", argv[0]);
    return 2;
  }
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fwprintf(stderr, L"cannot open %ls: error %lu\n", argv[1], GetLastError());
    return 2;
  }
  const ULONG_PTR seconds = argc == 3 ? std::wcstoul(argv[2], nullptr, 10) : 60;
  const HANDLE timer =
      CreateThread(nullptr, 0, endAfter, reinterpret_cast<void*>(seconds), 0, nullptr);
  if (timer != nullptr) CloseHandle(timer);
  std::printf("held\n");
  std::fflush(stdout);
  char buffer[256];
  DWORD got = 0;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  CloseHandle(file);
  return 0;
}
