// What the full run and the single-update extraction share of the work on
// one entry: the lines of a product that is not installed and of an UnRAR
// library that cannot be used.
#pragma once

namespace bu {

// "The product ... is not installed on the system." after a module's
// registry read failed.
void logProductNotInstalled();

// The line that ends all work when loadUnrar answered `code` (111 or 118).
void logUnrarUnusable(int code);

}  // namespace bu
