#pragma once

// Times as FTP writes them: "YYYYMMDDHHMMSS" with ".sss" when the milliseconds are not 0,
// always in UTC (RFC 3659), while hosts and files speak local time.

#include <string>
#include <string_view>

#include "common/date_time.h"

namespace vantrel {

// A local moment as a UTC time stamp.
std::string FormatUtcTimestamp(DateTime local);
// A moment already in UTC, written as it stands.
std::string FormatTimestamp(DateTime utc);

// Whether `text` is a time stamp of that form with valid fields.
bool IsTimestamp(std::string_view text);

// Minutes east of UTC at the local moment `local`.
int UtcOffsetMinutes(DateTime local);

}  // namespace vantrel
