// The log block that opens the processing of an update entry, the same in
// every mode: the entry's name and description, then all of its fields.
#pragma once

#include "config/update_entry.h"

namespace bu {

void logEntryDetails(const UpdateEntry& entry);

}  // namespace bu
