#pragma once

// The operator's file copy of the log. Unbounded, lines are appended. Bounded, the file
// holds only the newest MaxLines lines: the whole file is read, the new lines added, the
// oldest cut, and the result replaces the file in one step, so a crash never leaves a
// half-written log. A batch (everything the log tick drained from the queue) costs one
// read and one write; trimming line by line was rejected because a busy server would
// rewrite the file hundreds of times per tick.
//
// The file records tried passwords, so a new log file is readable by its owner only.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/clock.h"

namespace vantrel {

// Owned by the host that drains the log queue; any thread may call it, one write at a
// time. Assign the events before the first write: they are not guarded.
class LogFile {
 public:
  static constexpr const char* kCreateFailed = "Failed to create log file.";
  static constexpr const char* kReadFailed = "Failed to read log file.";

  explicit LogFile(const Clock& clock = DefaultClock());

  // May change a line before it is written. Runs with the lock held: it must not call
  // back into this object.
  std::function<void(std::string& line)> OnLog;
  // Asked before the file is trimmed; setting `trim` false keeps every line. Runs with the
  // lock held: it must not call back into this object.
  std::function<void(bool& trim)> OnLogFull;
  // Told when the file cannot be read or written; the lines of that write are lost.
  std::function<void(const std::string& message)> OnError;
  // Told after each write that reached the file.
  std::function<void()> AfterLog;

  std::string Filename() const;
  // Empty: nothing is written.
  void SetFilename(std::string filename);
  int MaxLines() const;
  // 0 appends without limit; a negative value is ignored.
  void SetMaxLines(int max_lines);
  bool TimeStamp() const;
  void SetTimeStamp(bool time_stamp);

  std::string LastLine() const;
  DateTime LastTime() const;
  std::string LastError() const;

  void Write(std::string text);
  // Writes the lines in order as one write: one read and one replacement of a bounded
  // file, one append to an unbounded one.
  void WriteLines(const std::vector<std::string>& texts);

 private:
  // False, with last_error_ set, when the file could not be read or written.
  bool AppendLines(const std::string& lines);
  bool KeepNewestLines(std::string lines);

  const Clock& clock_;
  mutable std::mutex mutex_;
  std::string filename_;    // guarded by mutex_
  int max_lines_ = 0;       // guarded by mutex_
  bool time_stamp_ = true;  // guarded by mutex_
  std::string last_line_;   // guarded by mutex_
  DateTime last_time_ = 0;  // guarded by mutex_
  std::string last_error_;  // guarded by mutex_
};

}  // namespace vantrel
