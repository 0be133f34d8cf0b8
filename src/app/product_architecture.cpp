#include "app/product_architecture.h"

namespace bu {

// Detecting a 64-bit product needs the configuration and the module
// locations, which are not built yet; until then every run stays in this
// process, as on 32-bit Windows.
bool isProduct64Bit() { return false; }

bool launch64BitSibling(const char*, unsigned&) { return false; }

}  // namespace bu
