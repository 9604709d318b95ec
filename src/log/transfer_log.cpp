#include "log/transfer_log.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/file_system.h"

namespace vantrel {
namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The C library's ctime() layout, "Wed Dec  9 04:00:00 2026", without its line break.
std::string CtimeText(DateTime moment) {
  const CivilTime c = DecodeDateTime(moment);
  const std::chrono::year_month_day date{std::chrono::year(c.year),
                                         std::chrono::month(static_cast<unsigned>(c.month)),
                                         std::chrono::day(static_cast<unsigned>(c.day))};
  const unsigned weekday = std::chrono::weekday(std::chrono::sys_days(date)).c_encoding();
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kWeekdays[weekday],
                kMonths[std::clamp(c.month, 1, 12) - 1], c.day, c.hour, c.minute, c.second, c.year);
  return text;
}

bool NeedsEscape(unsigned char c) {
  return c <= 0x20 || c == 0x7F || c == '%';
}

std::string Field(std::string_view text) {
  if (text.empty())
    return "*";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string field;
  field.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!NeedsEscape(byte)) {
      field += c;
      continue;
    }
    field += '%';
    field += kHex[byte >> 4];
    field += kHex[byte & 0xF];
  }
  return field;
}

// Whole seconds, rounded; classic servers never write 0, which analysers divide by.
std::int64_t TransferSeconds(std::chrono::milliseconds duration) {
  return std::max<std::int64_t>(1, (duration.count() + 500) / 1000);
}

}  // namespace

std::string FormatTransferLine(const TransferRecord& r) {
  const bool upload = r.direction == TransferDirection::kUpload;
  std::string line = CtimeText(r.finished);
  line += ' ' + std::to_string(TransferSeconds(r.duration));
  line += ' ' + Field(r.remote_host);
  line += ' ' + std::to_string(std::max<std::int64_t>(0, r.bytes));
  line += ' ' + Field(r.filename);
  line += r.binary ? " b _ " : " a _ ";
  line += upload ? "i " : "o ";
  line += r.anonymous ? "a " : "r ";
  line += Field(r.user);
  line += " ftp 0 * ";
  line += r.complete ? 'c' : 'i';
  return line;
}

TransferLog::TransferLog(ErrorSink on_error) : on_error_(std::move(on_error)) {}

std::string TransferLog::Path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

void TransferLog::SetPath(std::string path) {
  std::string report;
  {
    std::lock_guard lock(mutex_);
    path_ = std::move(path);
    file_.Close();
    failing_ = false;  // a new file deserves its own report
    if (!path_.empty())
      report = OpenFile();
  }
  if (!report.empty() && on_error_)
    on_error_(report);
}

void TransferLog::Append(const TransferRecord& record) {
  std::string report;
  {
    std::lock_guard lock(mutex_);
    if (path_.empty())
      return;  // off: not even the line is made
    report = WriteLine(FormatTransferLine(record) + '\n');
  }
  if (!report.empty() && on_error_)
    on_error_(report);
}

std::string TransferLog::WriteLine(const std::string& line) {
  if (!file_.is_open()) {
    std::string report = OpenFile();
    if (!file_.is_open())
      return report;
  }
  try {
    file_.WriteRecord(line);
  } catch (const platform::FileError& error) {
    return NoteFailure(error.what());
  }
  failing_ = false;
  return {};
}

std::string TransferLog::OpenFile() {
  try {
    file_ = platform::AppendFile::Open(path_);
  } catch (const platform::FileError& error) {
    return NoteFailure(error.what());
  }
  return {};
}

std::string TransferLog::NoteFailure(const std::string& message) {
  if (std::exchange(failing_, true))
    return {};
  return message;
}

}  // namespace vantrel
