// The package manifest's reader: any bytes as its PE container, any text
// inside it. Nothing is read outside the bytes given (the sanitizers watch),
// a manifest read back from its own text lists the same files, and any text
// put into an image comes back out of it unchanged.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "trust/manifest_image.h"
#include "trust/package_manifest.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  bu::fuzz::quietProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using bu::fuzz::check;
  const auto text = bu::manifestImageText(data, size);
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (const std::string& candidate : {text.value_or(std::string()), input}) {
    const auto manifest = bu::parseManifestText(candidate);
    if (!manifest) continue;
    const auto again = bu::parseManifestText(bu::manifestText(manifest->records()));
    check(again.has_value(), "a manifest's own text was refused");
    check(again->records().size() == manifest->records().size(), "records were lost");
    for (std::size_t i = 0; i < manifest->records().size(); ++i) {
      check(again->records()[i].name == manifest->records()[i].name &&
                again->records()[i].digest == manifest->records()[i].digest,
            "a record changed on its way through its own text");
      check(manifest->find(manifest->records()[i].name) == &manifest->records()[i],
            "a listed name is not found, or finds another record");
    }
  }
  const auto image = bu::manifestImage(input);
  const auto back = bu::manifestImageText(image.data(), image.size());
  check(back.has_value() && *back == input, "a text did not come back out of its image");
  return 0;
}
