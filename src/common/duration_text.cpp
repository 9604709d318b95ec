#include "common/duration_text.h"

#include <cstdio>

namespace vantrel {
namespace {

std::string FormatOneDecimal(double value, const char* suffix) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.1f %s", value, suffix);
  return buffer;
}

}  // namespace

std::string FormatDuration(std::int64_t seconds) {
  if (seconds > 3600)
    return FormatOneDecimal(static_cast<double>(seconds) / 3600.0, "h");
  if (seconds > 120)
    return FormatOneDecimal(static_cast<double>(seconds) / 60.0, "min");
  return std::to_string(seconds) + " s";
}

}  // namespace vantrel
