#pragma once

#include <atomic>

#include "common/date_time.h"

namespace vantrel {

// Where units read "now". Units take a Clock so that tests can move time by hand.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  DateTime Now() const override;
};

// The process's system clock; stateless, so sharing it hides no state.
const Clock& DefaultClock();

// A clock that stands still until a test moves it. Safe to read from any thread.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(DateTime start = 46000.5) : now_(start) {}
  DateTime Now() const override { return now_.load(); }
  void Set(DateTime value) { now_.store(value); }
  void AdvanceSeconds(double seconds) { now_.store(now_.load() + seconds / kSecondsPerDay); }

 private:
  std::atomic<DateTime> now_;
};

}  // namespace vantrel
