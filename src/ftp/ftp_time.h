#pragma once

// Times as FTP writes them: "YYYYMMDDHHMMSS" with ".sss" when the milliseconds are not 0,
// always in UTC (RFC 3659), while hosts and files speak local time.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "common/date_time.h"

namespace vantrel {

// A local moment as a UTC time stamp.
std::string FormatUtcTimestamp(DateTime local);
// A moment already in UTC, written as it stands.
std::string FormatTimestamp(DateTime utc);

// A time stamp of that form as the moment it names (UTC, any number of fraction digits,
// kept to the nanosecond); nothing when a field is missing or out of range, or the moment
// lies beyond what the system clock can hold (before 1678 or after 2261 here).
std::optional<std::chrono::system_clock::time_point> ParseTimestamp(std::string_view text);
bool IsTimestamp(std::string_view text);

// Minutes east of UTC at the local moment `local`.
int UtcOffsetMinutes(DateTime local);

}  // namespace vantrel
