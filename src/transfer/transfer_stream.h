#pragma once

// The file end of one FTP transfer: reads (downloads) or writes (uploads) a disk file,
// holds the transfer to its speed limit chunk by chunk, reports progress to the transfer
// table, and on destruction hands its byte counts to the totals. Owned and used by one
// connection thread.
//
// The throttle sleeps after a block until the bytes moved so far have taken bytes / limit
// seconds since the start, so the time spent reading and sending is absorbed rather than
// added. Blocks hold at most a tenth of a second's worth of bytes at the limit, so a
// limited transfer flows evenly instead of in bursts. There is no shared budget across transfers:
// each account's limit is its own.
//
// Progress goes to the table at the first block and then at most once per report
// interval: the table is read every two seconds, and a report per block would add a lock
// and two file queries to every megabyte moved.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "ftp/ftp_stream.h"
#include "platform/file.h"

namespace vantrel {

class TransferTable;

class TransferStream final : public FtpStream {
 public:
  using Mode = platform::File::Mode;
  static constexpr std::chrono::milliseconds kReportInterval{100};

  // How a transfer ended, for whoever records it.
  struct Ending {
    std::int64_t bytes = 0;  // read from the file for a download, written for an upload
    std::chrono::milliseconds duration{0};  // from the opening of the file
    bool complete = false;
  };
  using EndSink = std::function<void(const Ending&)>;

  // Throws platform::FileError when the file cannot be opened (missing, in use).
  TransferStream(const std::string& path, Mode mode, std::int64_t limit, TransferTable& table,
                 std::chrono::milliseconds report_interval = kReportInterval);
  ~TransferStream() override;
  TransferStream(const TransferStream&) = delete;
  TransferStream& operator=(const TransferStream&) = delete;

  // With a limit, fewer bytes than asked for: one block at most.
  std::size_t Read(char* buffer, std::size_t size) override;
  void Write(const char* data, std::size_t size) override;
  // Accounts for bytes that left or entered the file by another route (a zero-copy send
  // or receive at the current position), with the same throttle and report.
  void MovedExternally(std::size_t size) override;
  // Only without a limit: a limited transfer goes through Read, whose blocks the
  // throttle keeps small.
  platform::File* ZeroCopyFile() override { return limit_ <= 0 ? &file_ : nullptr; }

  void Finished(bool complete) override { complete_ = complete; }
  // Told once, from the destructor, after the file is closed; what it throws is dropped.
  void SetEndSink(EndSink sink) { end_sink_ = std::move(sink); }

  void Seek(std::int64_t offset) override { file_.Seek(offset); }
  std::int64_t Position() const override { return file_.Position(); }
  std::int64_t Size() const override { return file_.Size(); }
  std::int64_t limit() const { return limit_; }
  int id() const { return id_; }
  const std::string& path() const { return path_; }
  platform::File& file() { return file_; }

 private:
  using SteadyClock = std::chrono::steady_clock;

  std::size_t BlockSize(std::size_t wanted) const;
  // How far behind its schedule a transfer may fall before the schedule restarts.
  static constexpr std::chrono::seconds kMaxCatchUp{1};

  void Throttle(std::size_t bytes);
  void Report();

  platform::File file_;
  bool writing_;
  std::string path_;
  std::int64_t limit_;
  TransferTable& table_;
  SteadyClock::time_point start_;
  SteadyClock::time_point pace_start_;
  std::int64_t paced_bytes_ = 0;
  std::chrono::milliseconds report_interval_;
  std::optional<SteadyClock::time_point> last_report_;
  std::int64_t bytes_read_ = 0;
  std::int64_t bytes_written_ = 0;
  int id_;
  bool complete_ = false;
  EndSink end_sink_;
};

}  // namespace vantrel
