#pragma once

// Log lines from every thread wait here until the log tick drains them on the main
// thread (the view, the status line, the log file). Producers only copy under a short
// lock; they never wait for the view or the disk.

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

#include "common/clock.h"

namespace vantrel {

class LogQueue {
 public:
  static constexpr std::size_t kCapacity = 4096;

  explicit LogQueue(const Clock& clock = DefaultClock(), std::size_t capacity = kCapacity);

  // Any thread. Beyond capacity the oldest line is dropped, and the next pop reports how
  // many were lost, so the operator's record never has a silent gap.
  void LogLine(std::string text);
  // Oldest first; false when empty.
  bool PopLogLine(std::string& text, DateTime& time);
  void ClearLogQueue();
  std::size_t Count() const;

 private:
  struct Entry {
    DateTime time;
    std::string text;
  };

  const Clock& clock_;
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::deque<Entry> entries_;  // guarded by mutex_
  std::size_t dropped_ = 0;    // guarded by mutex_
};

}  // namespace vantrel
