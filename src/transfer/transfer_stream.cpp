#include "transfer/transfer_stream.h"

#include <algorithm>
#include <thread>

#include "transfer/transfer_table.h"

namespace vantrel {

TransferStream::TransferStream(const std::string& path, Mode mode, std::int64_t limit,
                               TransferTable& table, std::chrono::milliseconds report_interval)
    : file_(platform::File::Open(path, mode)),
      writing_(mode != Mode::kRead),
      path_(path),
      limit_(limit),
      table_(table),
      start_(SteadyClock::now()),
      pace_start_(start_),
      report_interval_(report_interval),
      id_(table.NextTransferId()) {}

TransferStream::~TransferStream() {
  table_.FinishTransfer(id_, bytes_read_, bytes_written_);
  file_.Close();
  if (!end_sink_)
    return;
  const auto elapsed = SteadyClock::now() - start_;
  try {
    end_sink_({writing_ ? bytes_written_ : bytes_read_,
               std::chrono::duration_cast<std::chrono::milliseconds>(elapsed), complete_});
  } catch (...) {
    // Whatever records the transfer cannot undo it; the session goes on.
  }
}

std::size_t TransferStream::BlockSize(std::size_t wanted) const {
  if (limit_ <= 0)
    return wanted;
  const auto tenth = static_cast<std::size_t>(std::max<std::int64_t>(1, limit_ / 10));
  return std::min(wanted, tenth);
}

std::size_t TransferStream::Read(char* buffer, std::size_t size) {
  const std::size_t got = file_.Read(buffer, BlockSize(size));
  bytes_read_ += static_cast<std::int64_t>(got);
  table_.CountMoved(false, static_cast<std::int64_t>(got));
  Throttle(got);
  Report();
  return got;
}

void TransferStream::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const std::size_t block = BlockSize(size);
    file_.Write(data, block);
    bytes_written_ += static_cast<std::int64_t>(block);
    table_.CountMoved(true, static_cast<std::int64_t>(block));
    Throttle(block);
    Report();
    data += block;
    size -= block;
  }
}

void TransferStream::MovedExternally(std::size_t size) {
  (writing_ ? bytes_written_ : bytes_read_) += static_cast<std::int64_t>(size);
  table_.CountMoved(writing_, static_cast<std::int64_t>(size));
  Throttle(size);
  Report();
}

void TransferStream::Throttle(std::size_t bytes) {
  if (limit_ <= 0 || bytes == 0)
    return;
  paced_bytes_ += static_cast<std::int64_t>(bytes);
  const auto due = pace_start_ + std::chrono::microseconds(paced_bytes_ * 1'000'000 / limit_);
  const auto now = SteadyClock::now();
  if (due > now) {
    std::this_thread::sleep_until(due);
  } else if (now - due > kMaxCatchUp) {
    // A client that stalled earns no burst afterwards: the schedule starts again.
    pace_start_ = now;
    paced_bytes_ = 0;
  }
}

void TransferStream::Report() {
  const auto now = SteadyClock::now();
  if (last_report_ && now - *last_report_ < report_interval_)
    return;
  last_report_ = now;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
  // From what is known without asking the system: the size when opened, or the position
  // once an upload has passed it.
  const std::int64_t size = std::max(file_.SizeAtOpen(), file_.Position());
  table_.UpdateTransfer(path_, elapsed, id_, size, file_.Position());
}

}  // namespace vantrel
