// A writer that races the program: it keeps putting one of two files in the
// place of a third, in turn, until a stop file appears. Every other round it
// rewrites the target in place, the others it writes a new file beside it and
// renames that over the target. A Windows process, so that it meets the share
// modes the program opens its files with, as any writer on Windows would.
//
//   racing_writer.exe <target> <first> <second> <stop-file>
//
// Prints "rounds=<n> replaced=<n> refused=<n>" when it stops.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<char> readWhole(const wchar_t* path) {
  std::vector<char> bytes;
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  CloseHandle(file);
  return bytes;
}

bool writeWhole(const std::wstring& path, const std::vector<char>& bytes) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: racing_writer <target> <first> <second> <stop-file>\n");
    return 2;
  }
  const std::wstring target = argv[1];
  const std::wstring beside = target + L".new";
  const std::vector<char> contents[2] = {readWhole(argv[2]), readWhole(argv[3])};
  if (contents[0].empty() || contents[1].empty()) {
    std::fprintf(stderr, "racing_writer: cannot read the two files\n");
    return 2;
  }
  unsigned long rounds = 0, replaced = 0, refused = 0;
  while (GetFileAttributesW(argv[4]) == INVALID_FILE_ATTRIBUTES) {
    const std::vector<char>& bytes = contents[rounds % 2];
    const bool inPlace = (rounds / 2) % 2 == 0;
    const bool ok = inPlace ? writeWhole(target, bytes)
                            : writeWhole(beside, bytes) &&
                                  MoveFileExW(beside.c_str(), target.c_str(),
                                              MOVEFILE_REPLACE_EXISTING);
    ++rounds;
    if (ok) {
      ++replaced;
    } else {
      ++refused;
      Sleep(0);
    }
  }
  DeleteFileW(beside.c_str());
  std::printf("rounds=%lu replaced=%lu refused=%lu\n", rounds, replaced, refused);
  return 0;
}
