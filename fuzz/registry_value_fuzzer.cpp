// The POSIX registry's value files: any bytes a value file may hold, decoded
// in both kinds of locale, and the same bytes as a key or value name. The
// text never outgrows the data, a value is refused only for its size, and a
// name accepted as a file name can never climb out of its key.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/registry.h"
#include "platform/registry_posix.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  bu::fuzz::quietProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using bu::fuzz::check;
  const std::size_t dataSize = size > 0 && data[size - 1] == '\n' ? size - 1 : size;
  for (const char* locale : bu::fuzz::kLocales) {
    bu::fuzz::useLocale(locale);
    const auto text = bu::platform::decodeRegistryValue(data, size);
    check(text.has_value() == (dataSize <= bu::platform::kRegistryDataCapacity),
          "a value was refused for anything but its size");
    if (text) check(text->size() <= dataSize, "the text is longer than the data");
  }

  const std::string name(reinterpret_cast<const char*>(data), size);
  if (bu::platform::isRegistryFileName(name)) {
    check(name.find('/') == std::string::npos && name.find('\0') == std::string::npos &&
              name != "." && name != "..",
          "a name that leaves its directory was accepted");
  }
  return 0;
}
