#include "common/date_time.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/text.h"

namespace vantrel {
namespace {

using namespace std::chrono;

constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};
constexpr double kMillisPerDay = kSecondsPerDay * 1000.0;

}  // namespace

DateTime EncodeDateTime(const CivilTime& civil) {
  const sys_days date{year{civil.year} / month{static_cast<unsigned>(civil.month)} /
                      day{static_cast<unsigned>(civil.day)}};
  const double days = static_cast<double>((date - kEpoch).count());
  const double millis =
      ((civil.hour * 60.0 + civil.minute) * 60.0 + civil.second) * 1000.0 + civil.millisecond;
  // Before the epoch the fraction still counts forward within the day.
  return days >= 0 ? days + millis / kMillisPerDay : days - millis / kMillisPerDay;
}

CivilTime DecodeDateTime(DateTime value) {
  const double whole = std::trunc(value);
  auto millis = static_cast<long long>(std::llround(std::fabs(value - whole) * kMillisPerDay));
  long long days = static_cast<long long>(whole);
  if (millis >= static_cast<long long>(kMillisPerDay)) {
    millis -= static_cast<long long>(kMillisPerDay);
    days += value >= 0 ? 1 : -1;
  }
  const year_month_day date{kEpoch + std::chrono::days{days}};
  CivilTime civil;
  civil.year = static_cast<int>(date.year());
  civil.month = static_cast<int>(static_cast<unsigned>(date.month()));
  civil.day = static_cast<int>(static_cast<unsigned>(date.day()));
  civil.millisecond = static_cast<int>(millis % 1000);
  const long long secs = millis / 1000;
  civil.second = static_cast<int>(secs % 60);
  civil.minute = static_cast<int>(secs / 60 % 60);
  civil.hour = static_cast<int>(secs / 3600);
  return civil;
}

DateTime ToDateTime(system_clock::time_point moment) {
  return EncodeDateTime(platform::ToLocalCivil(moment));
}

system_clock::time_point ToTimePoint(DateTime value) {
  return platform::FromLocalCivil(DecodeDateTime(value));
}

std::string FormatDateTimeValue(DateTime value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<DateTime> ParseDateTimeValue(std::string_view text) {
  std::string normal(Trim(text));
  for (char& c : normal) {
    if (c == ',')
      c = '.';
  }
  if (normal.empty())
    return std::nullopt;
  DateTime value = 0;
  const char* end = normal.data() + normal.size();
  const auto result = std::from_chars(normal.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::string FormatLocalDateTime(DateTime value) {
  const CivilTime c = DecodeDateTime(value);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                c.hour, c.minute, c.second);
  return buffer;
}

}  // namespace vantrel
