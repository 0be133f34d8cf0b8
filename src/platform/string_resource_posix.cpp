// The program's own string table is compiled in: the texts the Windows build
// puts in its resources, from the same source. An external module is a data
// file of ours (see string_module_posix.h); its handle points to its texts.
#include "platform/string_resource.h"

#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>

#include "platform/appended_signature_posix.h"
#include "platform/pinned_file_native_posix.h"
#include "platform/regular_file_posix.h"
#include "platform/string_module_posix.h"
#include "string_table.h"

namespace bu::platform {

// A loaded string module: its texts, and nothing that could run.
struct StringModule {
  StringTable table;
};

namespace {

struct Entry {
  unsigned id;
  const wchar_t* text;
};

#define BU_STRING_ENTRY(id, text) {id, L"" text},
constexpr Entry kOwnTable[] = {BU_STRING_TABLE(BU_STRING_ENTRY)};
#undef BU_STRING_ENTRY

// Far more than a string table of 11 texts ever needs.
constexpr std::size_t kLargestModule = std::size_t{16} << 20;

// Loaded modules live until the process ends, as Windows modules do.
std::vector<std::unique_ptr<const StringModule>>& loadedModules() {
  static std::vector<std::unique_ptr<const StringModule>> modules;
  return modules;
}

}  // namespace

// The program's own table is compiled in; no image holds it.
StringModuleHandle ownStringModule(ModuleHandle) { return nullptr; }

std::wstring loadString(StringModuleHandle module, unsigned id, std::size_t capacity) {
  if (capacity == 0) return {};
  if (module != nullptr) {
    const StringTable& table = module->table;
    const auto found = table.find(id);
    return found == table.end() ? std::wstring() : found->second.substr(0, capacity - 1);
  }
  for (const Entry& entry : kOwnTable) {
    if (entry.id == id) return std::wstring(entry.text).substr(0, capacity - 1);
  }
  return {};
}

StringModuleHandle loadStringModule(const PinnedFile& pinned) {
  if (!pinned.isOpen()) return nullptr;
  // The sealed copy that was verified, through a descriptor of its own.
  const RegularFile file(::fcntl(pinned.native()->copy, F_DUPFD_CLOEXEC, 0));
  std::vector<unsigned char> bytes;
  if (!file.readAll(bytes, kLargestModule)) return nullptr;
  // Only the content counts; a signature appended to it is not part of the table.
  const std::optional<AppendedSignature> signature =
      findAppendedSignature(bytes.data(), bytes.size());
  const std::size_t contentSize = signature ? signature->contentSize : bytes.size();
  std::optional<StringTable> table = parseStringModule(bytes.data(), contentSize);
  if (!table) return nullptr;
  loadedModules().push_back(std::make_unique<const StringModule>(StringModule{std::move(*table)}));
  return loadedModules().back().get();
}

}  // namespace bu::platform
