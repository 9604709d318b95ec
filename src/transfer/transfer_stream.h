#pragma once

// The file end of one FTP transfer: reads (downloads) or writes (uploads) a disk file,
// holds the transfer to its speed limit chunk by chunk, reports progress to the transfer
// table, and on destruction hands its byte counts to the totals. Owned and used by one
// connection thread.
//
// The throttle sleeps after a chunk until the chunk has taken size / limit seconds; there
// is no shared budget across transfers, as each account's limit is its own.

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace vantrel {

class TransferTable;

class TransferStream {
 public:
  using Mode = platform::File::Mode;

  // Throws platform::FileError when the file cannot be opened (missing, in use).
  TransferStream(const std::string& path, Mode mode, std::int64_t limit, TransferTable& table);
  ~TransferStream();
  TransferStream(const TransferStream&) = delete;
  TransferStream& operator=(const TransferStream&) = delete;

  std::size_t Read(char* buffer, std::size_t size);
  void Write(const char* data, std::size_t size);
  // Accounts for bytes that left the file by another route (a zero-copy send from its
  // descriptor at the current position), with the same throttle and report.
  void ConsumedExternally(std::size_t size);

  void Seek(std::int64_t offset) { file_.Seek(offset); }
  std::int64_t Position() const { return file_.Position(); }
  std::int64_t Size() const { return file_.Size(); }
  std::int64_t limit() const { return limit_; }
  int id() const { return id_; }
  const std::string& path() const { return path_; }
  platform::File& file() { return file_; }

 private:
  using SteadyClock = std::chrono::steady_clock;

  void Throttle(std::size_t bytes, SteadyClock::time_point chunk_start) const;
  void Report();

  platform::File file_;
  std::string path_;
  std::int64_t limit_;
  TransferTable& table_;
  SteadyClock::time_point start_;
  std::int64_t bytes_read_ = 0;
  std::int64_t bytes_written_ = 0;
  int id_;
};

}  // namespace vantrel
