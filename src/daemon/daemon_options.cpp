#include "daemon/daemon_options.h"

namespace vantrel {
namespace {

DaemonOptions UsageError(std::string message) {
  DaemonOptions options;
  options.action = DaemonOptions::Action::kUsageError;
  options.error = std::move(message);
  return options;
}

}  // namespace

DaemonOptions ParseDaemonOptions(const std::vector<std::string>& args) {
  DaemonOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.action = DaemonOptions::Action::kHelp;
    } else if (arg == "--version") {
      options.action = DaemonOptions::Action::kVersion;
    } else if (arg == "--data-dir" || arg.starts_with("--data-dir=")) {
      std::string value;
      if (arg == "--data-dir") {
        if (i + 1 >= args.size())
          return UsageError("--data-dir needs a directory");
        value = args[++i];
      } else {
        value = arg.substr(std::string("--data-dir=").size());
      }
      if (value.empty())
        return UsageError("--data-dir needs a directory");
      options.data_directory = value;
    } else {
      return UsageError("unknown argument: " + arg);
    }
  }
  return options;
}

std::string DaemonUsage() {
  return "usage: vantreld [--data-dir DIR] [--help] [--version]";
}

}  // namespace vantrel
