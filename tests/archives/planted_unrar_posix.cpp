// A stand-in unrar.dll that ends the process with exit code 77 as soon as it
// is loaded. The tests plant it beside the driver and on LD_LIBRARY_PATH: a
// binding that loaded "unrar.dll" by name would run this copy instead of the
// verified one.
#include <unistd.h>

__attribute__((constructor)) static void endProcess() { _exit(77); }
