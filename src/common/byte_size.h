#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// "1.50 KB", "2.00 GB", "512 Byte(s)": the size text of log lines, lists and totals.
std::string FormatByteSize(std::int64_t bytes);

}  // namespace vantrel
