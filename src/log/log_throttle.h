#pragma once

// A condition that persists (a passive port range that stays full, a name that does not
// resolve) would otherwise write one log line per command that meets it; the operator
// needs to learn that it happens, not how often. So its line goes out at most once per
// interval, and the lines in between are dropped.

#include <mutex>
#include <optional>
#include <string>

#include "common/clock.h"

namespace vantrel {

class LogQueue;

// Owned by whoever reports the condition; any thread may call it.
class LogThrottle {
 public:
  static constexpr double kDefaultIntervalSeconds = 60;

  LogThrottle(LogQueue& log, const Clock& clock, double interval_seconds = kDefaultIntervalSeconds);

  // Logs `line` unless this throttle logged less than the interval ago.
  void LogLine(const std::string& line);

 private:
  LogQueue& log_;
  const Clock& clock_;
  const DateTime interval_;
  std::mutex mutex_;
  std::optional<DateTime> last_;  // guarded by mutex_
};

}  // namespace vantrel
