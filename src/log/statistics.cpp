#include "log/statistics.h"

namespace vantrel {

void Statistics::ResetStatistics() {
  std::lock_guard lock(mutex_);
  connections_ = 0;
  sessions_ = 0;
  downloaded_ = 0;
  uploaded_ = 0;
}

void Statistics::CountConnection() {
  std::lock_guard lock(mutex_);
  ++connections_;
}

void Statistics::CountSession() {
  std::lock_guard lock(mutex_);
  ++sessions_;
}

void Statistics::AddDownloaded(std::int64_t bytes) {
  std::lock_guard lock(mutex_);
  downloaded_ += bytes;
}

void Statistics::AddUploaded(std::int64_t bytes) {
  std::lock_guard lock(mutex_);
  uploaded_ += bytes;
}

std::int64_t Statistics::GetConnections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

std::int64_t Statistics::GetSessions() const {
  std::lock_guard lock(mutex_);
  return sessions_;
}

std::int64_t Statistics::GetDownloaded() const {
  std::lock_guard lock(mutex_);
  return downloaded_;
}

std::int64_t Statistics::GetUploaded() const {
  std::lock_guard lock(mutex_);
  return uploaded_;
}

}  // namespace vantrel
