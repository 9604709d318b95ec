#pragma once

// The 32-bit date-time of FAT directory entries, as storage containers keep file dates:
// the high word holds the date (years since 1980 in bits 9-15, month 5-8, day 0-4), the
// low word the local time (hour 11-15, minute 5-10, seconds halved 0-4). Containers store
// it as a signed decimal, so dates from 2044 on are negative numbers.

#include <cstdint>
#include <optional>

#include "platform/local_time.h"

namespace vantrel {

using DosDateTime = std::int32_t;

// Nothing for moments the format cannot hold (before 1980, after 2107). Odd seconds round
// down, the format's resolution being two seconds.
std::optional<DosDateTime> PackDosDateTime(const platform::CivilTime& civil);

// Nothing when the fields name no real moment (month 0, 31 February, hour 24, ...).
std::optional<platform::CivilTime> UnpackDosDateTime(DosDateTime packed);

}  // namespace vantrel
