#include "common/dos_date_time.h"

#include <chrono>

namespace vantrel {
namespace {

constexpr int kFirstYear = 1980;
constexpr int kLastYear = kFirstYear + 127;

bool IsRealDate(int year, int month, int day) {
  const std::chrono::year_month_day date{std::chrono::year{year},
                                         std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  return date.ok();
}

}  // namespace

std::optional<DosDateTime> PackDosDateTime(const platform::CivilTime& civil) {
  if (civil.year < kFirstYear || civil.year > kLastYear)
    return std::nullopt;
  if (!IsRealDate(civil.year, civil.month, civil.day))
    return std::nullopt;
  if (civil.hour < 0 || civil.hour > 23 || civil.minute < 0 || civil.minute > 59 ||
      civil.second < 0 || civil.second > 59) {
    return std::nullopt;
  }
  const std::uint32_t date = static_cast<std::uint32_t>(civil.year - kFirstYear) << 9 |
                             static_cast<std::uint32_t>(civil.month) << 5 |
                             static_cast<std::uint32_t>(civil.day);
  const std::uint32_t time = static_cast<std::uint32_t>(civil.hour) << 11 |
                             static_cast<std::uint32_t>(civil.minute) << 5 |
                             static_cast<std::uint32_t>(civil.second / 2);
  return static_cast<DosDateTime>(date << 16 | time);
}

std::optional<platform::CivilTime> UnpackDosDateTime(DosDateTime packed) {
  const auto bits = static_cast<std::uint32_t>(packed);
  const std::uint32_t date = bits >> 16;
  const std::uint32_t time = bits & 0xFFFF;
  platform::CivilTime civil;
  civil.year = kFirstYear + static_cast<int>(date >> 9);
  civil.month = static_cast<int>(date >> 5 & 0x0F);
  civil.day = static_cast<int>(date & 0x1F);
  civil.hour = static_cast<int>(time >> 11);
  civil.minute = static_cast<int>(time >> 5 & 0x3F);
  civil.second = static_cast<int>(time & 0x1F) * 2;
  civil.millisecond = 0;
  if (!IsRealDate(civil.year, civil.month, civil.day))
    return std::nullopt;
  if (civil.hour > 23 || civil.minute > 59 || civil.second > 59)
    return std::nullopt;
  return civil;
}

}  // namespace vantrel
