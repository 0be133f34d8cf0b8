// The program's own string table: the texts the Windows build compiles into
// its resources, from the same source.
#include "platform/string_resource.h"

#include "string_table.h"

namespace bu::platform {
namespace {

struct Entry {
  unsigned id;
  const wchar_t* text;
};

#define BU_STRING_ENTRY(id, text) {id, L"" text},
constexpr Entry kOwnTable[] = {BU_STRING_TABLE(BU_STRING_ENTRY)};
#undef BU_STRING_ENTRY

}  // namespace

std::wstring loadString(ModuleHandle module, unsigned id, std::size_t capacity) {
  if (module != nullptr || capacity == 0) return {};  // no external table yet
  for (const Entry& entry : kOwnTable) {
    if (entry.id == id) return std::wstring(entry.text).substr(0, capacity - 1);
  }
  return {};
}

}  // namespace bu::platform
