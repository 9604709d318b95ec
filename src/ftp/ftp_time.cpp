#include "ftp/ftp_time.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "common/text.h"

namespace vantrel {
namespace {

using namespace std::chrono;

CivilTime UtcCivil(system_clock::time_point moment) {
  const auto millis = time_point_cast<milliseconds>(moment);
  const auto day = floor<days>(millis);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> time{millis - day};
  CivilTime civil;
  civil.year = static_cast<int>(date.year());
  civil.month = static_cast<int>(static_cast<unsigned>(date.month()));
  civil.day = static_cast<int>(static_cast<unsigned>(date.day()));
  civil.hour = static_cast<int>(time.hours().count());
  civil.minute = static_cast<int>(time.minutes().count());
  civil.second = static_cast<int>(time.seconds().count());
  civil.millisecond = static_cast<int>(time.subseconds().count());
  return civil;
}

int Field(std::string_view text, std::size_t at, std::size_t length) {
  int value = 0;
  for (std::size_t i = at; i < at + length; ++i)
    value = value * 10 + (text[i] - '0');
  return value;
}

std::string FormatCivil(const CivilTime& c) {
  char text[40];
  if (c.millisecond != 0) {
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d.%03d", c.year, c.month, c.day,
                  c.hour, c.minute, c.second, c.millisecond);
  } else {
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", c.year, c.month, c.day, c.hour,
                  c.minute, c.second);
  }
  return text;
}

sys_seconds AsIfUtc(const CivilTime& c) {
  return sys_days{year{c.year} / month{static_cast<unsigned>(c.month)} /
                  day{static_cast<unsigned>(c.day)}} +
         hours{c.hour} + minutes{c.minute} + seconds{c.second};
}

// The zone's offset from UTC at `moment`.
seconds OffsetAt(sys_seconds moment) {
  return AsIfUtc(platform::ToLocalCivil(moment)) - moment;
}

// A local time as a UTC moment, through the zone's offset at that moment (found in two
// steps, so a change of summer time between the guess and the answer is caught). Not
// through mktime: it checks the zone file again on every call, which a machine listing
// of thousands of dates feels.
system_clock::time_point LocalToUtc(DateTime local) {
  const CivilTime c = DecodeDateTime(local);
  const sys_seconds guess = AsIfUtc(c);
  const sys_seconds first = guess - OffsetAt(guess);
  return guess - OffsetAt(first) + milliseconds(c.millisecond);
}

}  // namespace

std::string FormatUtcTimestamp(DateTime local) {
  return FormatCivil(UtcCivil(LocalToUtc(local)));
}

std::string FormatTimestamp(DateTime utc) {
  return FormatCivil(DecodeDateTime(utc));
}

std::optional<system_clock::time_point> ParseTimestamp(std::string_view text) {
  if (text.size() < 14 || !AllDigits(text.substr(0, 14)))
    return std::nullopt;
  if (text.size() > 14 && (text[14] != '.' || !AllDigits(text.substr(15))))
    return std::nullopt;
  const year_month_day date{year{Field(text, 0, 4)},
                            month{static_cast<unsigned>(Field(text, 4, 2))},
                            day{static_cast<unsigned>(Field(text, 6, 2))}};
  const int hour = Field(text, 8, 2);
  const int minute = Field(text, 10, 2);
  const int second = Field(text, 12, 2);
  if (!date.ok() || hour >= 24 || minute >= 60 || second > 60)  // 60: a leap second
    return std::nullopt;
  const sys_seconds whole = sys_days{date} + hours{hour} + minutes{minute} + seconds{second};
  // The clock's ticks are fine enough to reach only a few centuries either side of 1970.
  if (whole <= floor<seconds>(system_clock::time_point::min()) ||
      whole >= floor<seconds>(system_clock::time_point::max())) {
    return std::nullopt;
  }
  nanoseconds fraction{0};
  const std::string_view digits = text.size() > 15 ? text.substr(15, 9) : std::string_view();
  for (std::size_t i = 0; i < 9; ++i)
    fraction = fraction * 10 + nanoseconds(i < digits.size() ? digits[i] - '0' : 0);
  return time_point_cast<system_clock::duration>(whole) +
         duration_cast<system_clock::duration>(fraction);
}

bool IsTimestamp(std::string_view text) {
  return ParseTimestamp(text).has_value();
}

int UtcOffsetMinutes(DateTime local) {
  const auto moment = ToTimePoint(local);
  const double difference = ToDateTime(moment) - EncodeDateTime(UtcCivil(moment));
  return static_cast<int>(std::lround(difference * 24 * 60));
}

}  // namespace vantrel
