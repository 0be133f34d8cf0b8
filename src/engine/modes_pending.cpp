// The modes' work is not built yet. The configuration check in front of them
// refuses every package until it is, and should one be reached all the same,
// each answers its failure code rather than success.
#include "app/result_codes.h"
#include "engine/modes.h"

namespace bu {

int listUpdates() { return kResultConfigNotLoaded; }

int runExtraction(const std::string&, const std::string&) { return kResultUpdateUnavailable; }

int runFullDeployment() { return kResultNoneDeployed; }

}  // namespace bu
