#include "config/configuration.h"

#include "app/result_codes.h"

namespace bu {

bool runOemOnly = false;

// The configuration reader is not built yet: no file is ever read, which is
// what the not-loaded answer says.
int loadConfigurationFile() {
  runOemOnly = false;
  return kResultConfigNotLoaded;
}

int parseConfiguration() { return kResultConfigNoRoot; }

}  // namespace bu
