#pragma once

// The running transfers shown on the "File Transfers" list. Transfer streams report into
// it from their connection threads; the refresh tick shows a copy. Finished transfers add
// their byte counts to the statistics; the metrics count bytes as they move, so that a
// scraper sees a long transfer's rate while it runs. Any thread; one lock, never held
// while another unit's lock is taken.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vantrel {

class Metrics;
class Statistics;

struct TransferData {
  int id = 0;
  std::string file_name;
  std::int64_t size = 0;
  std::int64_t position = 0;
  std::int64_t elapsed_ms = 0;
};

// Name, position, size, speed ("768 Byte(s)/s"), time left ("-" while unknown).
std::vector<std::string> TransferCells(const TransferData& transfer);

class TransferTable {
 public:
  // `metrics`, when given, counts the bytes as they move; it must outlive the table.
  explicit TransferTable(Statistics& statistics, Metrics* metrics = nullptr)
      : statistics_(statistics), metrics_(metrics) {}

  // A counter, not a random draw: two transfers must never share a row of the table.
  int NextTransferId() { return next_id_.fetch_add(1, std::memory_order_relaxed) + 1; }

  void UpdateTransfer(const std::string& file_name, std::int64_t elapsed_ms, int id,
                      std::int64_t size, std::int64_t position);
  // Bytes read from a file for a download, or written to one by an upload, just now.
  void CountMoved(bool written, std::int64_t bytes);
  void FinishTransfer(int id, std::int64_t bytes_read, std::int64_t bytes_written);
  int RunningCount() const;
  void ClearTransfers();
  std::vector<TransferData> Transfers() const;

 private:
  Statistics& statistics_;
  Metrics* const metrics_;
  std::atomic<int> next_id_{0};
  mutable std::mutex mutex_;
  std::vector<TransferData> transfers_;  // guarded by mutex_
};

}  // namespace vantrel
