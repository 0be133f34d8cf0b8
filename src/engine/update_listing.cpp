// /list: shows the package's updates under the names /extract accepts. Reads
// only the entry list: no module is loaded and nothing is deployed.
#include <string>

#include "app/user_messages.h"
#include "config/result_codes.h"
#include "config/update_entry.h"
#include "engine/entry_details.h"
#include "engine/modes.h"
#include "platform/text.h"

namespace bu {
namespace {

const wchar_t kListFormat[] = L"Following updates are available for deployment: \n\n%ls";
const wchar_t kLineSeparator[] = L"\t- ";
const wchar_t kExtractNote[] =
    L"\nNOTE: Please use the \"/extract\" command to deploy an individual update.";

}  // namespace

int listUpdates() {
  std::wstring list;
  for (const UpdateEntry& entry : updateEntries) {
    // The box shows the 8-bit texts converted through the ANSI code page;
    // the log keeps their bytes as they are.
    list += platform::ansiToWide(entry.updateFile);
    list += kLineSeparator;
    list += platform::ansiToWide(entry.updateDescription);
    list += L'\n';
    logEntryDetails(entry);
  }
  list += kExtractNote;
  showInformation(kListFormat, list.c_str());
  return kResultSuccess;
}

}  // namespace bu
