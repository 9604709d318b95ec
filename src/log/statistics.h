#pragma once

#include <cstdint>
#include <mutex>

namespace vantrel {

// Running totals of the FTP service since the program started; never saved. Owned by the
// host; connection threads add, the refresh tick and the web pages read, from any thread.
// Every total is 64 bits wide, so a busy server's byte counts never wrap.
class Statistics {
 public:
  void ResetStatistics();
  void CountConnection();
  void CountSession();
  void AddDownloaded(std::int64_t bytes);
  void AddUploaded(std::int64_t bytes);

  std::int64_t GetConnections() const;
  std::int64_t GetSessions() const;
  std::int64_t GetDownloaded() const;
  std::int64_t GetUploaded() const;

 private:
  mutable std::mutex mutex_;
  std::int64_t connections_ = 0;  // guarded by mutex_
  std::int64_t sessions_ = 0;     // guarded by mutex_
  std::int64_t downloaded_ = 0;   // guarded by mutex_
  std::int64_t uploaded_ = 0;     // guarded by mutex_
};

}  // namespace vantrel
