#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace vantrel::testing {

// What event handlers saw, written in session threads and read by the test.
class Recorder {
 public:
  void Add(std::string entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
    added_.notify_all();
  }
  // True once at least `count` entries are there; false when `timeout` passed first.
  bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return added_.wait_for(lock, timeout, [&] { return entries_.size() >= count; });
  }
  std::vector<std::string> Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable added_;
  std::vector<std::string> entries_;  // guarded by mutex_
};

}  // namespace vantrel::testing
