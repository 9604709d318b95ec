#pragma once

// A condition that persists (a passive port range that stays full, a name that does not
// resolve, a flood of connections refused over a limit) would otherwise write one log
// line per event; the operator needs to learn that it happens and from where, not how
// often. So each key's line goes out at most once per interval, and the lines in between
// are dropped.

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

#include "common/clock.h"

namespace vantrel {

class LogQueue;

// Owned by whoever reports the condition; any thread may call it.
class LogThrottle {
 public:
  static constexpr double kDefaultIntervalSeconds = 60;
  // Keys remembered at once. A flood from more keys than this within an interval logs
  // the first ones only, so the table stays bounded.
  static constexpr std::size_t kMaxKeys = 4096;

  LogThrottle(LogQueue& log, const Clock& clock, double interval_seconds = kDefaultIntervalSeconds);

  // Logs `line` unless a line of the same `key` (an address, say) went out less than the
  // interval ago.
  void LogLine(const std::string& line, const std::string& key = {});

 private:
  bool Due(const std::string& key);
  bool Quiet(DateTime last, DateTime now) const;

  LogQueue& log_;
  const Clock& clock_;
  const DateTime interval_;
  std::mutex mutex_;
  std::unordered_map<std::string, DateTime> last_;  // guarded by mutex_
};

}  // namespace vantrel
