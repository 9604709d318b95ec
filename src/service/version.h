#pragma once

namespace vantrel {

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 4;
inline constexpr int kVersionRelease = 1;
inline constexpr int kVersionBuild = 65;
inline constexpr const char* kVersionText = "1.4.1.65";

}  // namespace vantrel
