#include "platform/local_time.h"

namespace bu::platform {

// The time zone is read once per process: localtime() would look at
// /etc/localtime again for every line.
bool localTime(std::time_t when, std::tm& out) {
  static const bool zoneRead = (tzset(), true);
  (void)zoneRead;
  return localtime_r(&when, &out) != nullptr;
}

}  // namespace bu::platform
