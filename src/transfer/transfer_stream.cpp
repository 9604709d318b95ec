#include "transfer/transfer_stream.h"

#include <algorithm>
#include <thread>

#include "transfer/transfer_table.h"

namespace vantrel {

TransferStream::TransferStream(const std::string& path, Mode mode, std::int64_t limit,
                               TransferTable& table)
    : file_(platform::File::Open(path, mode)),
      path_(path),
      limit_(limit),
      table_(table),
      start_(SteadyClock::now()),
      id_(table.NextTransferId()) {}

TransferStream::~TransferStream() {
  table_.FinishTransfer(id_, bytes_read_, bytes_written_);
  file_.Close();
}

std::size_t TransferStream::BlockSize(std::size_t wanted) const {
  if (limit_ <= 0)
    return wanted;
  const auto tenth = static_cast<std::size_t>(std::max<std::int64_t>(1, limit_ / 10));
  return std::min(wanted, tenth);
}

std::size_t TransferStream::Read(char* buffer, std::size_t size) {
  const auto chunk_start = SteadyClock::now();
  const std::size_t got = file_.Read(buffer, BlockSize(size));
  bytes_read_ += static_cast<std::int64_t>(got);
  Throttle(got, chunk_start);
  Report();
  return got;
}

void TransferStream::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const auto chunk_start = SteadyClock::now();
    const std::size_t block = BlockSize(size);
    file_.Write(data, block);
    bytes_written_ += static_cast<std::int64_t>(block);
    Throttle(block, chunk_start);
    Report();
    data += block;
    size -= block;
  }
}

void TransferStream::ConsumedExternally(std::size_t size) {
  const auto chunk_start = SteadyClock::now();
  bytes_read_ += static_cast<std::int64_t>(size);
  Throttle(size, chunk_start);
  Report();
}

void TransferStream::Throttle(std::size_t bytes, SteadyClock::time_point chunk_start) const {
  if (limit_ <= 0 || bytes == 0)
    return;
  const auto due = std::chrono::milliseconds(static_cast<std::int64_t>(bytes) * 1000 / limit_);
  const auto spent = SteadyClock::now() - chunk_start;
  if (due > spent)
    std::this_thread::sleep_for(due - spent);
}

void TransferStream::Report() {
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start_).count();
  table_.UpdateTransfer(path_, elapsed, id_, file_.Size(), file_.Position());
}

}  // namespace vantrel
