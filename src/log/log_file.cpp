#include "log/log_file.h"

#include <algorithm>
#include <utility>

#include "platform/file_system.h"

namespace vantrel {
namespace {

// A text that could start a new line (a file name with a line break, say) would forge a
// record in the operator's log and throw the bounded line count off.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

}  // namespace

LogFile::LogFile(const Clock& clock) : clock_(clock) {}

std::string LogFile::Filename() const {
  std::lock_guard lock(mutex_);
  return filename_;
}

void LogFile::SetFilename(std::string filename) {
  std::lock_guard lock(mutex_);
  filename_ = std::move(filename);
}

int LogFile::MaxLines() const {
  std::lock_guard lock(mutex_);
  return max_lines_;
}

void LogFile::SetMaxLines(int max_lines) {
  std::lock_guard lock(mutex_);
  if (max_lines >= 0)
    max_lines_ = max_lines;
}

bool LogFile::TimeStamp() const {
  std::lock_guard lock(mutex_);
  return time_stamp_;
}

void LogFile::SetTimeStamp(bool time_stamp) {
  std::lock_guard lock(mutex_);
  time_stamp_ = time_stamp;
}

std::string LogFile::LastLine() const {
  std::lock_guard lock(mutex_);
  return last_line_;
}

DateTime LogFile::LastTime() const {
  std::lock_guard lock(mutex_);
  return last_time_;
}

std::string LogFile::LastError() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

void LogFile::Write(std::string text) {
  WriteLines({std::move(text)});
}

void LogFile::WriteLines(const std::vector<std::string>& texts) {
  if (texts.empty())
    return;
  std::string error;
  {
    std::lock_guard lock(mutex_);
    const DateTime now = clock_.Now();
    const std::string stamp = time_stamp_ ? FormatLocalDateTime(now) + "> " : std::string();
    std::string lines;
    for (const auto& text : texts) {
      std::string line = text;
      if (OnLog)
        OnLog(line);
      last_line_ = line;
      last_time_ = now;
      lines += stamp;
      lines += OneLine(std::move(line));
      lines += '\n';
    }
    if (filename_.empty())
      return;
    const bool written = max_lines_ > 0 ? KeepNewestLines(std::move(lines)) : AppendLines(lines);
    if (!written)
      error = last_error_;
  }
  // The events run unlocked so that a handler may read the last line or error.
  if (!error.empty()) {
    if (OnError)
      OnError(error);
    return;
  }
  if (AfterLog)
    AfterLog();
}

bool LogFile::AppendLines(const std::string& lines) {
  if (platform::AppendToFile(filename_, lines))
    return true;
  last_error_ = kCreateFailed;
  return false;
}

bool LogFile::KeepNewestLines(std::string lines) {
  std::string content;
  if (platform::PathExists(filename_)) {
    auto existing = platform::ReadWholeFile(filename_);
    // Writing over a log that could not be read would destroy it.
    if (!existing) {
      last_error_ = kReadFailed;
      return false;
    }
    content = std::move(*existing);
    if (!content.empty() && content.back() != '\n')
      content += '\n';
  }
  content += lines;

  const auto total = std::count(content.begin(), content.end(), '\n');
  if (total > max_lines_) {
    bool trim = true;
    if (OnLogFull)
      OnLogFull(trim);
    if (trim) {
      std::size_t cut = 0;
      for (auto drop = total - max_lines_; drop > 0; --drop)
        cut = content.find('\n', cut) + 1;
      content.erase(0, cut);
    }
  }
  try {
    platform::ReplaceFile(filename_, content);
  } catch (const platform::FileError&) {
    last_error_ = kCreateFailed;
    return false;
  }
  return true;
}

}  // namespace vantrel
