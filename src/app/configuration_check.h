// Loads and validates buConfig.xml before any mode works on it.
#pragma once

namespace bu {

// 0 when the configuration is loaded and acceptable; otherwise the load or
// parse result (reported with a box) or, when `checkOem` is true (full runs
// only), 125 when /tvxoem and the package's run-oem-only disagree.
int checkConfiguration(bool checkOem);

}  // namespace bu
