#include "platform/code_module.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/pinned_file_native_posix.h"
#include "platform/text.h"

namespace bu::platform {
namespace {

std::string descriptorPath(int descriptor) {
  return "/proc/self/fd/" + std::to_string(descriptor);
}

class Descriptors {
 public:
  Descriptors() = default;
  ~Descriptors() {
    for (int descriptor : descriptors_) ::close(descriptor);
  }
  Descriptors(const Descriptors&) = delete;
  Descriptors& operator=(const Descriptors&) = delete;
  void add(int descriptor) { descriptors_.push_back(descriptor); }

 private:
  std::vector<int> descriptors_;
};

bool readAt(int descriptor, void* into, std::size_t size, std::uint64_t offset) {
  return ::pread(descriptor, into, size, static_cast<off_t>(offset)) ==
         static_cast<ssize_t>(size);
}

// Whether `[offset, offset + size)` lies inside a file of `fileSize` bytes.
bool inside(std::uint64_t offset, std::uint64_t size, std::uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

// Whether the loader can map the object in `descriptor` without touching a
// byte beyond its end. The loader maps every loadable segment's file range
// straight from the file; a page of it past the end of a file cut short
// faults the process (SIGBUS) the moment it is touched, so such a file is
// refused before the loader sees it. The copy is sealed, so what is checked
// here is what the loader maps. An object of another class or layout is
// refused too; the loader would refuse it anyway.
bool segmentsInsideFile(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || status.st_size < 0) return false;
  const std::uint64_t fileSize = static_cast<std::uint64_t>(status.st_size);
  ElfW(Ehdr) header{};
  if (!readAt(descriptor, &header, sizeof header, 0)) return false;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
      header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == PN_XNUM ||
      !inside(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr)), fileSize)) {
    return false;
  }
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    ElfW(Phdr) segment{};
    if (!readAt(descriptor, &segment, sizeof segment, header.e_phoff + i * sizeof segment)) {
      return false;
    }
    if (segment.p_type == PT_LOAD && !inside(segment.p_offset, segment.p_filesz, fileSize)) {
      return false;
    }
  }
  return true;
}

// The file offset of the virtual address `address`, through the loadable
// segment that holds it.
bool fileOffset(int descriptor, const ElfW(Ehdr)& header, std::uint64_t address,
                std::uint64_t& offset) {
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    ElfW(Phdr) segment{};
    if (!readAt(descriptor, &segment, sizeof segment, header.e_phoff + i * sizeof segment)) {
      return false;
    }
    if (segment.p_type == PT_LOAD && address >= segment.p_vaddr &&
        address - segment.p_vaddr < segment.p_filesz) {
      offset = address - segment.p_vaddr + segment.p_offset;
      return true;
    }
  }
  return false;
}

// The names of the libraries the object needs (its DT_NEEDED entries), read
// from its dynamic section; the segments were checked to lie in the file.
std::vector<std::string> neededLibraries(int descriptor) {
  std::vector<std::string> names;
  ElfW(Ehdr) header{};
  if (!readAt(descriptor, &header, sizeof header, 0)) return names;
  std::vector<ElfW(Dyn)> dynamic;
  for (unsigned i = 0; i < header.e_phnum && dynamic.empty(); ++i) {
    ElfW(Phdr) segment{};
    if (!readAt(descriptor, &segment, sizeof segment, header.e_phoff + i * sizeof segment)) {
      return names;
    }
    if (segment.p_type != PT_DYNAMIC) continue;
    dynamic.resize(segment.p_filesz / sizeof(ElfW(Dyn)));
    if (dynamic.empty()) return names;
    if (!readAt(descriptor, dynamic.data(), dynamic.size() * sizeof(ElfW(Dyn)), segment.p_offset)) {
      return names;
    }
  }
  std::uint64_t strings = 0;
  std::uint64_t stringsSize = 0;
  for (const ElfW(Dyn)& entry : dynamic) {
    if (entry.d_tag == DT_STRTAB) strings = entry.d_un.d_ptr;
    if (entry.d_tag == DT_STRSZ) stringsSize = entry.d_un.d_val;
  }
  // A string table is a few kilobytes; anything past this is no library's.
  constexpr std::uint64_t kStringsLimit = 1 << 20;
  std::uint64_t offset = 0;
  if (stringsSize == 0 || stringsSize > kStringsLimit ||
      !fileOffset(descriptor, header, strings, offset)) {
    return names;
  }
  std::vector<char> table(stringsSize + 1, '\0');
  if (!readAt(descriptor, table.data(), stringsSize, offset)) return names;
  for (const ElfW(Dyn)& entry : dynamic) {
    if (entry.d_tag == DT_NEEDED && entry.d_un.d_val < stringsSize) {
      names.emplace_back(table.data() + entry.d_un.d_val);
    }
  }
  return names;
}

// A module installed with its product may import libraries that lie beside
// it, as on Windows. The loader searches only the system's places for the
// sealed copy (it has no folder of its own), so each needed library found
// beside the original file is loaded first, by its full path; the module's
// own load then finds it by its name. The handles are answered so that the
// caller lets go of them once the module holds its own references.
std::vector<void*> loadNeighbours(const PinnedFile& file) {
  std::vector<void*> handles;
  const std::string path = wideToAnsi(file.fullPath());
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return handles;
  for (const std::string& name : neededLibraries(file.native()->copy)) {
    if (name.find('/') != std::string::npos) continue;
    const std::string beside = path.substr(0, slash + 1) + name;
    struct stat status {};
    if (::stat(beside.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
    if (void* handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) handles.push_back(handle);
  }
  return handles;
}

}  // namespace

CodeModule CodeModule::load(const PinnedFile& file, ModuleDependencies dependencies) {
  if (!file.isOpen()) return CodeModule();
  if (!segmentsInsideFile(file.native()->copy)) return CodeModule();
  std::vector<void*> neighbours;
  if (dependencies == ModuleDependencies::BesideTheModule) neighbours = loadNeighbours(file);
  // The sealed copy the check read, through its descriptor: a file put in
  // the original's place meanwhile is never what runs. The loader knows an
  // object by the path it was opened by before it looks at the file, and a
  // descriptor number is reused once closed: while an object loaded earlier
  // (still loaded, or kept by the loader after dlclose) answers to this
  // descriptor's path, the copy is reached through a duplicate of another
  // number instead.
  int descriptor = file.native()->copy;
  Descriptors duplicates;
  for (;;) {
    void* taken = ::dlopen(descriptorPath(descriptor).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (taken == nullptr) break;
    ::dlclose(taken);
    descriptor = ::dup(descriptor);
    if (descriptor < 0) return CodeModule();
    duplicates.add(descriptor);
  }
  CodeModule module(::dlopen(descriptorPath(descriptor).c_str(), RTLD_NOW | RTLD_LOCAL));
  for (void* neighbour : neighbours) ::dlclose(neighbour);
  return module;
}

void* CodeModule::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return ::dlsym(handle_, name);
}

void CodeModule::reset() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

void restrictDllSearchToSystemDirectory() {}

}  // namespace bu::platform
