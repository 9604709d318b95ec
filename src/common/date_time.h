#pragma once

// Moments are day counts since 30 December 1899 in local time, the fraction being the time
// of day. Files and tables store them in this form, so it is the common currency; the
// system clock is only consulted through the conversions below.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/local_time.h"

namespace vantrel {

using DateTime = double;
using platform::CivilTime;

constexpr double kSecondsPerDay = 86400.0;

DateTime EncodeDateTime(const CivilTime& civil);
CivilTime DecodeDateTime(DateTime value);

DateTime ToDateTime(std::chrono::system_clock::time_point moment);
std::chrono::system_clock::time_point ToTimePoint(DateTime value);

// Stored form: shortest exact decimal text, always with "." as separator.
std::string FormatDateTimeValue(DateTime value);
// Accepts "." or "," as separator so files written under another locale still load.
std::optional<DateTime> ParseDateTimeValue(std::string_view text);

// Display form "YYYY-MM-DD HH:MM:SS".
std::string FormatLocalDateTime(DateTime value);

}  // namespace vantrel
