#pragma once

// The log lines of loading the state files: the start-up and a reload say the same.

#include <string>

namespace vantrel {

inline constexpr const char* kSettingsLoadFailed = "- Failed to load settings";
inline constexpr const char* kAccountsLoaded = "- Account list loaded";
inline constexpr const char* kAccountsLoadFailed = "- Failed to load account list";
inline constexpr const char* kMonitoredFilesLoaded = "- Monitored files list loaded";
inline constexpr const char* kMonitoredFilesLoadFailed = "- Failed to load monitored files list";

// `line`, with the system's reason in brackets when there is one.
inline std::string WithReason(const std::string& line, const std::string& reason) {
  return reason.empty() ? line : line + " (" + reason + ")";
}

}  // namespace vantrel
