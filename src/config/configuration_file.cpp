#include <tinyxml.h>

#include <memory>
#include <new>

#include "config/configuration.h"
#include "config/document_parser.h"
#include "config/result_codes.h"
#include "config/update_entry.h"
#include "config/xml_text.h"
#include "log/write_log.h"
#include "platform/read_file.h"

namespace bu {

std::vector<UpdateEntry> updateEntries;
bool runOemOnly = false;

// Opened by this relative name: the package is the current directory.
const char kConfigurationFileName[] = "buConfig.xml";

namespace {

const char kLoaded[] =
    "CONFIG LOAD SUCCESS: Successfully loaded the configuration file: buConfig.xml.";
const char kNotLoaded[] =
    "CONFIG LOAD FAILED: FAILED to load the configuration file buconfig.xml. Please check that "
    "the file is present and it is a valid XML file.";

// The file is read as TinyXML's LoadFile reads it and parsed as LoadFile
// parses it, but without recursion: elements nested deeper than the parser's
// stack could bear fail the load, like a file that is not well-formed. Only a
// regular file is read (a directory's length reads as enormous on POSIX), and
// a length that cannot be allocated fails the load instead of ending the
// process. The file is ours, so it is closed on that path too.
bool loadDocument(TiXmlDocument& document, ConfigurationBytesCheck accept) {
  const platform::UniqueFile file = platform::openRegularFileForReading(kConfigurationFileName);
  if (!file) return false;
  try {
    std::size_t size = 0;
    const std::unique_ptr<char[]> text = readXmlBytes(file.get(), size);
    if (!text) return false;
    if (accept != nullptr &&
        !accept(reinterpret_cast<const unsigned char*>(text.get()), size)) {
      return false;
    }
    normalizeXmlLineBreaks(text.get());
    document.Clear();
    return parseDocument(text.get(), document).parsed;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

int loadConfigurationFile(TiXmlDocument& document, ConfigurationBytesCheck accept) {
  // Cleared before the file is touched, so that a failed load leaves nothing
  // of an earlier one behind, and a second load never doubles the list.
  updateEntries.clear();
  runOemOnly = false;

  // Opened in binary mode; TinyXML detects the encoding itself. Its own
  // error text and position are not reported.
  if (!loadDocument(document, accept)) {
    WriteLog("%s", kNotLoaded);
    return kResultConfigNotLoaded;
  }
  WriteLog("%s", kLoaded);
  return kResultConfigLoaded;
}

}  // namespace bu
