#include "platform/process.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace bu::platform {
namespace {

constexpr WORD kMachineX64 = 0x8664;  // IMAGE_FILE_MACHINE_AMD64

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

class View {
 public:
  explicit View(const void* address) : address_(address) {}
  ~View() {
    if (address_ != nullptr) UnmapViewOfFile(address_);
  }
  View(const View&) = delete;
  View& operator=(const View&) = delete;
  const unsigned char* bytes() const { return static_cast<const unsigned char*>(address_); }

 private:
  const void* address_;
};

class Library {
 public:
  explicit Library(HMODULE module) : module_(module) {}
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// The machine field of the file header of a mapped image, found through the
// DOS header's pointer to the NT headers; every read stays inside the
// region the view's first pages occupy. 0 when the headers are not there.
WORD imageMachine(const unsigned char* image) {
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(image, &region, sizeof region) == 0) return 0;
  const std::size_t size = region.RegionSize;
  IMAGE_DOS_HEADER dos{};
  if (size < sizeof dos) return 0;
  std::memcpy(&dos, image, sizeof dos);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return 0;
  const std::size_t at = static_cast<std::size_t>(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (at > size || size - at < sizeof signature + sizeof header) return 0;
  std::memcpy(&signature, image + at, sizeof signature);
  if (signature != IMAGE_NT_SIGNATURE) return 0;
  std::memcpy(&header, image + at + sizeof signature, sizeof header);
  return header.Machine;
}

}  // namespace

bool isWow64Process() {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  const Library kernel(LoadLibraryW(L"kernel32.dll"));
  if (kernel.get() == nullptr) return false;
  const auto query = reinterpret_cast<IsWow64ProcessFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel.get(), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return query != nullptr && query(GetCurrentProcess(), &wow64) && wow64;
}

// The image is located by the system's own loader rules (an image section),
// and its headers are read here rather than through dbghelp.dll, which is not
// a known DLL: importing it would let a copy planted in the package
// directory run inside the updater.
bool isImage64Bit(const std::wstring& path) {
  if (path.empty()) return false;
  const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const Handle mapping(
      CreateFileMappingW(file.get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
  if (!mapping.valid()) return false;
  const View view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (view.bytes() == nullptr) return false;
  return imageMachine(view.bytes()) == kMachineX64;
}

// Wide throughout: an argument outside the ANSI code page reaches the
// program as typed, never as '?' or a best-fit substitute.
ProcessRun runAndWait(const std::wstring& application, const std::wstring& commandLine,
                      unsigned& exitCode) {
  // CreateProcessW may write into the command line, so it gets a copy.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &started)) {
    return ProcessRun::NotStarted;
  }
  const Handle process(started.hProcess);
  const Handle thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) return ProcessRun::ExitCodeUnknown;
  exitCode = code;
  return ProcessRun::Finished;
}

}  // namespace bu::platform
