// Loading a module from its pinned copy: a shared object whose header or
// loadable segments reach past the end of the file is refused before the
// loader maps it (mapped, it would fault the process when touched), while a
// whole one, or one cut right after its last segment, loads.
#include <elf.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "platform/code_module.h"
#include "platform/pinned_file.h"
#include "platform/text.h"
#include "test_support.h"

namespace bu::test {
namespace {

using Bytes = std::vector<unsigned char>;

// A real module as built: it exports the version-2 authorization factory.
const char kModule[] = BU_MODULE_FIXTURES_DIR "/unsigned/TestAuth2.dll";
const char kExport[] = "CreateAuthorizationManager2Instance";

Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ElfW(Ehdr) header(const Bytes& bytes) {
  ElfW(Ehdr) h{};
  std::memcpy(&h, bytes.data(), sizeof h);
  return h;
}

ElfW(Phdr)* segment(Bytes& bytes, unsigned i) {
  return reinterpret_cast<ElfW(Phdr)*>(bytes.data() + header(bytes).e_phoff +
                                       i * sizeof(ElfW(Phdr)));
}

// Where the last loadable segment's bytes end in the file.
std::size_t endOfSegments(Bytes& bytes) {
  std::size_t end = 0;
  for (unsigned i = 0; i < header(bytes).e_phnum; ++i) {
    const ElfW(Phdr)* s = segment(bytes, i);
    if (s->p_type == PT_LOAD) end = std::max<std::size_t>(end, s->p_offset + s->p_filesz);
  }
  return end;
}

ElfW(Phdr)* lastLoadable(Bytes& bytes) {
  ElfW(Phdr)* last = nullptr;
  for (unsigned i = 0; i < header(bytes).e_phnum; ++i) {
    if (segment(bytes, i)->p_type == PT_LOAD) last = segment(bytes, i);
  }
  return last;
}

struct LoadCase {
  const char* name;
  void (*change)(Bytes& bytes);
  bool loads;
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

const LoadCase kCases[] = {
    {"whole", [](Bytes&) {}, true},
    {"cut right after its last loadable segment",
     [](Bytes& b) { b.resize(endOfSegments(b)); }, true},
    {"one byte short of its last loadable segment",
     [](Bytes& b) { b.resize(endOfSegments(b) - 1); }, false},
    {"cut before its last loadable segment begins",
     [](Bytes& b) { b.resize(lastLoadable(b)->p_offset & ~std::size_t{0xFFF}); }, false},
    {"cut inside its program headers",
     [](Bytes& b) { b.resize(header(b).e_phoff + sizeof(ElfW(Phdr)) / 2); }, false},
    {"cut inside its ELF header", [](Bytes& b) { b.resize(sizeof(ElfW(Ehdr)) - 1); }, false},
    {"empty", [](Bytes& b) { b.clear(); }, false},
    {"a segment whose range wraps around",
     [](Bytes& b) { lastLoadable(b)->p_offset = ~ElfW(Off){0} - 0xFFF; }, false},
    {"program headers beyond the end",
     [](Bytes& b) {
       ElfW(Ehdr) h = header(b);
       h.e_phoff = b.size();
       std::memcpy(b.data(), &h, sizeof h);
     },
     false},
    {"another ELF class",
     [](Bytes& b) { b[EI_CLASS] = sizeof(void*) == 8 ? ELFCLASS32 : ELFCLASS64; }, false},
};

class CodeModuleLoad : public ProgramTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(CodeModuleLoad, LoadsOnlyWhatLiesInsideTheFile) {
  Bytes bytes = readBytes(kModule);
  ASSERT_GT(bytes.size(), sizeof(ElfW(Ehdr)));
  GetParam().change(bytes);
  const std::string path = temp_.path() + "/Module.dll";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  const platform::PinnedFile file = platform::PinnedFile::open(platform::ansiToWide(path));
  ASSERT_TRUE(file.isOpen());
  const platform::CodeModule module = platform::CodeModule::load(file);
  EXPECT_EQ(static_cast<bool>(module), GetParam().loads);
  if (GetParam().loads) {
    EXPECT_NE(module.symbol(kExport), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, CodeModuleLoad, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace bu::test
