#include "log/log_throttle.h"

#include "log/log_queue.h"

namespace vantrel {

LogThrottle::LogThrottle(LogQueue& log, const Clock& clock, double interval_seconds)
    : log_(log), clock_(clock), interval_(interval_seconds / kSecondsPerDay) {}

void LogThrottle::LogLine(const std::string& line) {
  const DateTime now = clock_.Now();
  {
    std::lock_guard lock(mutex_);
    // A clock set back counts as the interval passed, rather than silencing the line
    // for as long as it went back.
    if (last_ && now >= *last_ && now - *last_ < interval_)
      return;
    last_ = now;
  }
  log_.LogLine(line);
}

}  // namespace vantrel
