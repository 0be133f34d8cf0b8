// One update of the package, as its `product` element in buConfig.xml
// describes it, and the process-wide list of them.
#pragma once

#include <string>
#include <vector>

namespace bu {

// Eight 8-bit texts (the ANSI code page), copied out of the XML document so
// that the entry outlives it. Every field of a listed entry was present in
// its `product`; only an empty CDATA section gives an empty field.
struct UpdateEntry {
  std::string authContentType;    // handed to the authorization module
  std::string deployContentType;  // handed to the deployment module
  std::string updateFile;         // the RAR archive; the name /extract selects by
  std::string updateDescription;  // shown to the user
  std::string authDllName;
  std::string deployDllName;
  std::string authDllLocation;    // lower-cased; "local" means "installed, see the registry"
  std::string deployDllLocation;  // lower-cased, likewise
};

// The package's updates in document order; an entry is addressed by its
// 0-based position. Rebuilt from scratch by every configuration load.
extern std::vector<UpdateEntry> updateEntries;

// True when the package's info/run-oem-only says "yes" (any letter case).
extern bool runOemOnly;

}  // namespace bu
