// The package's configuration file, buConfig.xml, read into updateEntries
// and runOemOnly (config/update_entry.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class TiXmlDocument;

namespace bu {

// The configuration's file in the package.
extern const char kConfigurationFileName[];

// A judge of the configuration file's bytes as read, before they are parsed.
using ConfigurationBytesCheck = bool (*)(const unsigned char* bytes, std::size_t size);

// Empties updateEntries and clears runOemOnly, then reads buConfig.xml from
// the current directory (the package) into `document`, an empty document
// owned by the caller: 102 when the file was read as XML, 101 when it is
// missing, unreadable, not a regular file or not well-formed, or when
// `accept` (if given) refuses the bytes read. The bytes judged are the bytes
// parsed: the file is read once.
int loadConfigurationFile(TiXmlDocument& document, ConfigurationBytesCheck accept = nullptr);

// Appends the document's complete products to updateEntries and sets
// runOemOnly: 0; 103 when the document has no element at top level; 122 when
// at least one product was incomplete (the complete ones are listed all the
// same). Only after loadConfigurationFile answered 102 for `document`.
int parseConfiguration(const TiXmlDocument& document);

// A product parseConfiguration leaves out: its place among the root's
// products (from 1), the name the log gives it (empty when it has none of
// its identifying values) and the values it lacks, as element paths such as
// "auth-dll-info/location".
struct LeftOutProduct {
  std::size_t position;
  std::string name;
  std::vector<std::string> missing;
};

// The products of `document` that parseConfiguration leaves out, in order.
std::vector<LeftOutProduct> leftOutProducts(const TiXmlDocument& document);

}  // namespace bu
