#include "service/refusal_log.h"

#include <iterator>

#include "log/log_queue.h"

namespace vantrel {
namespace {

constexpr DateTime kQuietPeriod = 60.0 / kSecondsPerDay;

}  // namespace

std::string RefusalText(Refusal reason, int ceiling) {
  switch (reason) {
    case Refusal::kMaxConnections:
      return "Refused: client limit reached";
    case Refusal::kPerAddress:
      return "Refused: too many connections from this address";
    case Refusal::kNoRoom:
      return "Refused: no room for more connections (at most " + std::to_string(ceiling) +
             " at once)";
    case Refusal::kNoThread:
      return "Refused: the system has no thread for another connection";
  }
  return "Refused";
}

void RefusalLog::Refused(const std::string& address, const std::string& line) {
  if (Due(address))
    log_.LogLine(line);
}

bool RefusalLog::Due(const std::string& address) {
  const DateTime now = clock_.Now();
  std::lock_guard lock(mutex_);
  const auto found = last_logged_.find(address);
  if (found != last_logged_.end()) {
    if (now - found->second < kQuietPeriod)
      return false;
    found->second = now;
    return true;
  }
  if (last_logged_.size() >= kMaxAddresses) {
    for (auto it = last_logged_.begin(); it != last_logged_.end();)
      it = now - it->second < kQuietPeriod ? std::next(it) : last_logged_.erase(it);
    if (last_logged_.size() >= kMaxAddresses)
      return false;
  }
  last_logged_.emplace(address, now);
  return true;
}

}  // namespace vantrel
