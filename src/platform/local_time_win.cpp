#include "platform/local_time.h"

namespace bu::platform {

bool localTime(std::time_t when, std::tm& out) { return localtime_s(&out, &when) == 0; }

}  // namespace bu::platform
