#pragma once

#include <optional>
#include <string>
#include <vector>

#include "service/client_deadlines.h"

namespace vantrel {

struct DaemonOptions {
  enum class Action { kServe, kHelp, kVersion, kUsageError };
  Action action = Action::kServe;
  std::optional<std::string> data_directory;
  ClientDeadlines deadlines;
  std::string error;  // for kUsageError
};

DaemonOptions ParseDaemonOptions(const std::vector<std::string>& args);
std::string DaemonUsage();

}  // namespace vantrel
