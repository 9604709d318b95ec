#pragma once

// One line per finished (or broken-off) transfer, in the classic transfer log format that
// log analysers read:
//
//   current-time transfer-time remote-host file-size filename transfer-type
//   special-action-flag direction access-mode username service-name
//   authentication-method authenticated-user-id completion-status
//
//   Wed Dec  9 04:00:00 2026 1 127.0.0.1 1024 /pub/a.txt b _ o r alice ftp 0 * c
//
// Fields are separated by single spaces, so a client's text must not bring its own: in
// the file name, the user name (an anonymous user's is the password given, any text) and
// the host, space, every byte below 0x20, 0x7F and "%" itself are written "%XX" (upper
// case hex), so a name cannot shift the columns, start a forged line or be read back
// ambiguously. Other bytes, UTF-8 included, stay as they are. An empty field is "*".
//
// The file is kept open between lines and each line goes out in one append-only write
// (platform/append_file.h), so concurrent sessions never interleave. Opening the file per
// line was rejected: it costs two system calls per transfer for nothing but rotation,
// which SetPath with the same path handles.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "common/date_time.h"
#include "platform/append_file.h"

namespace vantrel {

enum class TransferDirection { kDownload, kUpload };

struct TransferRecord {
  DateTime finished = 0;  // local time, like every DateTime
  std::chrono::milliseconds duration{0};
  std::string remote_host;
  std::int64_t bytes = 0;  // bytes actually moved, also when broken off
  std::string filename;    // as the client sees it
  bool binary = true;
  TransferDirection direction = TransferDirection::kDownload;
  bool anonymous = false;
  std::string user;  // the account name; for an anonymous user the password given
  bool complete = true;
};

// The record as one log line, without the line break.
std::string FormatTransferLine(const TransferRecord& record);

// Owned by the host; any session thread may call Append, any thread SetPath.
class TransferLog {
 public:
  // Told, from the calling thread and without the lock, when the file cannot be opened or
  // written: once, until a line is written again.
  using ErrorSink = std::function<void(const std::string& message)>;

  explicit TransferLog(ErrorSink on_error);

  std::string Path() const;
  // Empty turns the log off. Opens (or reopens, after rotation) the file at once, so a bad
  // path is reported when it is set.
  void SetPath(std::string path);
  // A file that could not be opened is tried again on each line.
  void Append(const TransferRecord& record);

 private:
  // The message to report, or empty when nothing is to be reported.
  std::string WriteLine(const std::string& line);
  std::string OpenFile();
  std::string NoteFailure(const std::string& message);

  const ErrorSink on_error_;
  mutable std::mutex mutex_;
  std::string path_;           // guarded by mutex_
  platform::AppendFile file_;  // guarded by mutex_
  bool failing_ = false;       // guarded by mutex_; reported and no line written since
};

}  // namespace vantrel
