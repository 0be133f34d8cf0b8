#include "app/run_options.h"

namespace bu {

RunOptions runOptions;

}  // namespace bu
