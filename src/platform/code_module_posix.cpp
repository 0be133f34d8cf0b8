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

}  // namespace

CodeModule CodeModule::load(const PinnedFile& file, ModuleDependencies) {
  if (!file.isOpen()) return CodeModule();
  if (!segmentsInsideFile(file.native()->copy)) return CodeModule();
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
  return CodeModule(::dlopen(descriptorPath(descriptor).c_str(), RTLD_NOW | RTLD_LOCAL));
}

void* CodeModule::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return ::dlsym(handle_, name);
}

void CodeModule::reset() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace bu::platform
