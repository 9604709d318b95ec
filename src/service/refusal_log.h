#pragma once

// Connections turned away over a limit come in floods, one refusal per connection; the
// log gets one line per address per minute, which says who is turned away and why
// without burying every other line.

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

#include "common/clock.h"
#include "net/tcp_server.h"

namespace vantrel {

class LogQueue;

// What the log says about a refusal, after the key and "> "; `ceiling` is the connection
// budget's, which the operator needs to know once it is reached.
std::string RefusalText(Refusal reason, int ceiling);

// Owned by the part of the service that binds an engine's refusals; called on the
// engine's listener threads.
class RefusalLog {
 public:
  // Addresses remembered at once. A flood from more addresses than this within a minute
  // logs the first ones only, so the table stays bounded.
  static constexpr std::size_t kMaxAddresses = 4096;

  RefusalLog(LogQueue& log, const Clock& clock) : log_(log), clock_(clock) {}

  // Logs `line` unless a line for `address` was logged less than a minute ago.
  void Refused(const std::string& address, const std::string& line);

 private:
  bool Due(const std::string& address);

  LogQueue& log_;
  const Clock& clock_;
  std::mutex mutex_;
  std::unordered_map<std::string, DateTime> last_logged_;  // guarded by mutex_
};

}  // namespace vantrel
