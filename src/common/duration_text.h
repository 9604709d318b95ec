#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// "45 s", "2.5 min", "1.2 h": above 120 s in minutes, above 3600 s in hours, one decimal.
std::string FormatDuration(std::int64_t seconds);

}  // namespace vantrel
