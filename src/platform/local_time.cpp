#include "platform/local_time.h"

#include <time.h>

namespace vantrel::platform {

using std::chrono::system_clock;

CivilTime ToLocalCivil(system_clock::time_point moment) {
  const auto since_epoch = moment.time_since_epoch();
  auto seconds = std::chrono::floor<std::chrono::seconds>(since_epoch);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch - seconds).count();
  const time_t whole = static_cast<time_t>(seconds.count());
  struct tm parts {};
  localtime_r(&whole, &parts);
  return CivilTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,           parts.tm_hour,
                   parts.tm_min,         parts.tm_sec,     static_cast<int>(millis)};
}

system_clock::time_point FromLocalCivil(const CivilTime& civil) {
  struct tm parts {};
  parts.tm_year = civil.year - 1900;
  parts.tm_mon = civil.month - 1;
  parts.tm_mday = civil.day;
  parts.tm_hour = civil.hour;
  parts.tm_min = civil.minute;
  parts.tm_sec = civil.second;
  parts.tm_isdst = -1;  // let the zone rules decide summer time
  const time_t whole = mktime(&parts);
  return system_clock::from_time_t(whole) + std::chrono::milliseconds(civil.millisecond);
}

}  // namespace vantrel::platform
