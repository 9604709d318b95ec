#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vantrel {

struct DaemonOptions {
  enum class Action { kServe, kHelp, kVersion, kUsageError };
  Action action = Action::kServe;
  std::optional<std::string> data_directory;
  std::string error;  // for kUsageError
};

DaemonOptions ParseDaemonOptions(const std::vector<std::string>& args);
std::string DaemonUsage();

}  // namespace vantrel
