#include "common/clock.h"

namespace vantrel {

DateTime SystemClock::Now() const {
  return ToDateTime(std::chrono::system_clock::now());
}

const Clock& DefaultClock() {
  static const SystemClock clock;
  return clock;
}

}  // namespace vantrel
