#include "test_helper.h"

BU_MODULE_EXPORT int test_helper_answer() { return 42; }
