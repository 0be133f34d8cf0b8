// The work of the extract and full modes is not built yet. Should one be
// reached, each answers its failure code rather than success.
#include "app/result_codes.h"
#include "engine/modes.h"

namespace bu {

int runExtraction(const std::string&, const std::wstring&) { return kResultUpdateUnavailable; }

int runFullDeployment() { return kResultNoneDeployed; }

}  // namespace bu
