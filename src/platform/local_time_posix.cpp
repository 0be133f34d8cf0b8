#include "platform/local_time.h"

#include <cstdlib>
#include <ctime>

namespace bu::platform {

namespace {

// Without TZ the C library looks at /etc/localtime again (a stat) at every
// time conversion that may follow a change of zone: mktime() and localtime()
// in the UnRAR library, twice per extracted file. Naming that same file in
// TZ (":" and a path) changes nothing but lets the library keep what it read.
void pinTimeZone() {
  if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 0);
  tzset();
}

}  // namespace

// The time zone is read once per process, at the first line.
bool localTime(std::time_t when, std::tm& out) {
  static const bool zoneRead = (pinTimeZone(), true);
  (void)zoneRead;
  return localtime_r(&when, &out) != nullptr;
}

}  // namespace bu::platform
