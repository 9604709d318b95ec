#pragma once

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
  }
  std::vector<std::string> Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;  // guarded by mutex_
};

}  // namespace vantrel::testing
