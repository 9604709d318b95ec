#include "common/byte_size.h"

#include <cstdio>

namespace vantrel {
namespace {

std::string FormatScaled(std::int64_t bytes, double unit, const char* suffix) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f %s", static_cast<double>(bytes) / unit, suffix);
  return buffer;
}

}  // namespace

std::string FormatByteSize(std::int64_t bytes) {
  constexpr std::int64_t kKilo = 1024;
  constexpr std::int64_t kMega = kKilo * 1024;
  constexpr std::int64_t kGiga = kMega * 1024;
  // Whole-unit quotients decide the unit, as integer division does (negative sizes fall
  // through to bytes).
  if (bytes / kGiga > 0)
    return FormatScaled(bytes, kGiga, "GB");
  if (bytes / kMega > 0)
    return FormatScaled(bytes, kMega, "MB");
  if (bytes / kKilo > 0)
    return FormatScaled(bytes, kKilo, "KB");
  return std::to_string(bytes) + " Byte(s)";
}

}  // namespace vantrel
