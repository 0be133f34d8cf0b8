// The local broken-down time of a moment, for the log's timestamps.
#pragma once

#include <ctime>

namespace bu::platform {

// False when the moment cannot be represented.
bool localTime(std::time_t when, std::tm& out);

}  // namespace bu::platform
