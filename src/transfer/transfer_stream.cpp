#include "transfer/transfer_stream.h"

#include <random>
#include <thread>

#include "transfer/transfer_table.h"

namespace vantrel {
namespace {

int DrawTransferId() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<int>(0, 9999998)(generator);
}

}  // namespace

TransferStream::TransferStream(const std::string& path, Mode mode, std::int64_t limit,
                               TransferTable& table)
    : file_(platform::File::Open(path, mode)),
      path_(path),
      limit_(limit),
      table_(table),
      start_(SteadyClock::now()),
      id_(DrawTransferId()) {}

TransferStream::~TransferStream() {
  table_.FinishTransfer(id_, bytes_read_, bytes_written_);
  file_.Close();
}

std::size_t TransferStream::Read(char* buffer, std::size_t size) {
  const auto chunk_start = SteadyClock::now();
  const std::size_t got = file_.Read(buffer, size);
  bytes_read_ += static_cast<std::int64_t>(got);
  Throttle(got, chunk_start);
  Report();
  return got;
}

void TransferStream::Write(const char* data, std::size_t size) {
  const auto chunk_start = SteadyClock::now();
  file_.Write(data, size);
  bytes_written_ += static_cast<std::int64_t>(size);
  Throttle(size, chunk_start);
  Report();
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
