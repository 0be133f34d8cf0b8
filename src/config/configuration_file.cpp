#include <tinyxml.h>

#include <new>

#include "app/result_codes.h"
#include "config/configuration.h"
#include "config/nesting_limit.h"
#include "config/update_entry.h"
#include "log/write_log.h"
#include "platform/read_file.h"

namespace bu {

std::vector<UpdateEntry> updateEntries;
bool runOemOnly = false;

namespace {

// Opened by this relative name: the package is the current directory.
const char kConfigurationFileName[] = "buConfig.xml";

const char kLoaded[] =
    "CONFIG LOAD SUCCESS: Successfully loaded the configuration file: buConfig.xml.";
const char kNotLoaded[] =
    "CONFIG LOAD FAILED: FAILED to load the configuration file buconfig.xml. Please check that "
    "the file is present and it is a valid XML file.";

// TinyXML reads the whole file into one buffer sized by the file's length:
// only a regular file is handed to it (a directory's length reads as
// enormous on POSIX), and a length it cannot allocate fails the load instead
// of ending the process. The file is ours, so it is closed on that path too.
// Elements nested deeper than the parser's recursion can bear fail the load
// the same way.
bool loadDocument(TiXmlDocument& document) {
  const platform::UniqueFile file = platform::openRegularFileForReading(kConfigurationFileName);
  if (!file) return false;
  if (!nestingWithinLimit(file.get())) return false;
  try {
    return document.LoadFile(file.get());
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

int loadConfigurationFile(TiXmlDocument& document) {
  // Cleared before the file is touched, so that a failed load leaves nothing
  // of an earlier one behind, and a second load never doubles the list.
  updateEntries.clear();
  runOemOnly = false;

  // Opened in binary mode; TinyXML detects the encoding itself. Its own
  // error text and position are not reported.
  if (!loadDocument(document)) {
    WriteLog("%s", kNotLoaded);
    return kResultConfigNotLoaded;
  }
  WriteLog("%s", kLoaded);
  return kResultConfigLoaded;
}

}  // namespace bu
