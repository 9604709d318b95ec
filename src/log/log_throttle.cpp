#include "log/log_throttle.h"

#include <iterator>

#include "log/log_queue.h"

namespace vantrel {

LogThrottle::LogThrottle(LogQueue& log, const Clock& clock, double interval_seconds)
    : log_(log), clock_(clock), interval_(interval_seconds / kSecondsPerDay) {}

void LogThrottle::LogLine(const std::string& line, const std::string& key) {
  if (Due(key))
    log_.LogLine(line);
}

bool LogThrottle::Quiet(DateTime last, DateTime now) const {
  // A clock set back counts as the interval passed, rather than silencing the key for as
  // long as it went back.
  return now >= last && now - last < interval_;
}

bool LogThrottle::Due(const std::string& key) {
  const DateTime now = clock_.Now();
  std::lock_guard lock(mutex_);
  const auto found = last_.find(key);
  if (found != last_.end()) {
    if (Quiet(found->second, now))
      return false;
    found->second = now;
    return true;
  }
  if (last_.size() >= kMaxKeys) {
    for (auto it = last_.begin(); it != last_.end();)
      it = Quiet(it->second, now) ? std::next(it) : last_.erase(it);
    if (last_.size() >= kMaxKeys)
      return false;
  }
  last_.emplace(key, now);
  return true;
}

}  // namespace vantrel
