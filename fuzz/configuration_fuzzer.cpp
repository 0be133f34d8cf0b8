// buConfig.xml as the package ships it: the bytes are written to the file,
// loaded and parsed as every mode does. Whatever the bytes, load and parse
// answer their documented codes, and every listed entry carries its two
// locations lower-cased.
#include <tinyxml.h>

#include <cstdint>
#include <cstdio>

#include "config/configuration.h"
#include "config/update_entry.h"
#include "fuzz_support.h"

namespace {

bool hasUpperCaseAscii(const std::string& text) {
  for (const char c : text) {
    if (c >= 'A' && c <= 'Z') return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  bu::fuzz::quietProcess();
  bu::fuzz::useLocale("C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using bu::fuzz::check;
  // The package is the current directory, the scratch directory.
  std::FILE* file = std::fopen("buConfig.xml", "wb");
  check(file != nullptr, "cannot write buConfig.xml in the scratch directory");
  check(size == 0 || std::fwrite(data, 1, size, file) == size, "short write of buConfig.xml");
  std::fclose(file);

  TiXmlDocument document;
  const int loaded = bu::loadConfigurationFile(document);
  check(loaded == 101 || loaded == 102, "loadConfigurationFile answered another code");
  if (loaded == 102) {
    const int parsed = bu::parseConfiguration(document);
    check(parsed == 0 || parsed == 103 || parsed == 122, "parseConfiguration answered another code");
    for (const bu::UpdateEntry& entry : bu::updateEntries) {
      check(!hasUpperCaseAscii(entry.authDllLocation) && !hasUpperCaseAscii(entry.deployDllLocation),
            "a listed entry kept an upper-case location");
    }
  } else {
    check(bu::updateEntries.empty() && !bu::runOemOnly, "a failed load left entries behind");
  }
  bu::fuzz::discardLog();
  return 0;
}
