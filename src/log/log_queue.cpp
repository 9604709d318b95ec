#include "log/log_queue.h"

namespace vantrel {

LogQueue::LogQueue(const Clock& clock, std::size_t capacity)
    : clock_(clock), capacity_(capacity == 0 ? 1 : capacity) {}

void LogQueue::LogLine(std::string text) {
  const DateTime now = clock_.Now();
  std::lock_guard lock(mutex_);
  if (entries_.size() >= capacity_) {
    entries_.pop_front();
    ++dropped_;
  }
  entries_.push_back(Entry{now, std::move(text)});
}

bool LogQueue::PopLogLine(std::string& text, DateTime& time) {
  std::lock_guard lock(mutex_);
  if (dropped_ > 0) {
    text = "- " + std::to_string(dropped_) + " log lines dropped";
    time = entries_.empty() ? clock_.Now() : entries_.front().time;
    dropped_ = 0;
    return true;
  }
  if (entries_.empty())
    return false;
  text = std::move(entries_.front().text);
  time = entries_.front().time;
  entries_.pop_front();
  return true;
}

void LogQueue::ClearLogQueue() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  dropped_ = 0;
}

std::size_t LogQueue::Count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace vantrel
