#include "transfer/transfer_table.h"

#include <algorithm>
#include <cmath>

#include "common/byte_size.h"
#include "common/duration_text.h"
#include "log/metrics.h"
#include "log/statistics.h"

namespace vantrel {

std::vector<std::string> TransferCells(const TransferData& t) {
  // A transfer reported within its first millisecond has no measurable speed yet.
  const double seconds = static_cast<double>(t.elapsed_ms) / 1000.0;
  const std::int64_t speed =
      seconds > 0 ? std::llround(static_cast<double>(t.position) / seconds) : 0;
  const std::int64_t remaining = t.size - t.position;
  const std::string left =
      remaining > 0 && speed > 0 ? FormatDuration(remaining / speed) : std::string("-");
  return {t.file_name, FormatByteSize(t.position), FormatByteSize(t.size),
          FormatByteSize(speed) + "/s", left};
}

void TransferTable::UpdateTransfer(const std::string& file_name, std::int64_t elapsed_ms, int id,
                                   std::int64_t size, std::int64_t position) {
  std::lock_guard lock(mutex_);
  auto entry = std::find_if(transfers_.begin(), transfers_.end(),
                            [id](const TransferData& t) { return t.id == id; });
  if (entry == transfers_.end()) {
    transfers_.push_back(TransferData{id, file_name, size, position, elapsed_ms});
    return;
  }
  entry->size = size;
  entry->position = position;
  entry->elapsed_ms = elapsed_ms;
}

void TransferTable::CountMoved(bool written, std::int64_t bytes) {
  if (!metrics_ || bytes <= 0)
    return;
  const auto moved = static_cast<std::uint64_t>(bytes);
  if (written)
    metrics_->AddUploaded(moved);
  else
    metrics_->AddDownloaded(moved);
}

void TransferTable::FinishTransfer(int id, std::int64_t bytes_read, std::int64_t bytes_written) {
  statistics_.AddDownloaded(bytes_read);
  statistics_.AddUploaded(bytes_written);
  std::lock_guard lock(mutex_);
  auto entry = std::find_if(transfers_.begin(), transfers_.end(),
                            [id](const TransferData& t) { return t.id == id; });
  if (entry != transfers_.end())
    transfers_.erase(entry);
}

void TransferTable::ClearTransfers() {
  std::lock_guard lock(mutex_);
  transfers_.clear();
}

int TransferTable::RunningCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(transfers_.size());
}

std::vector<TransferData> TransferTable::Transfers() const {
  std::lock_guard lock(mutex_);
  return transfers_;
}

}  // namespace vantrel
