#include "daemon/daemon_options.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

namespace vantrel {
namespace {

constexpr const char* kDeadlinesOption = "--client-deadlines";
constexpr double kLongestDeadlineSeconds = 86400.0;

DaemonOptions UsageError(std::string message) {
  DaemonOptions options;
  options.action = DaemonOptions::Action::kUsageError;
  options.error = std::move(message);
  return options;
}

// One figure of seconds ("0.5", "60"); nothing unless it is a positive number of at most
// a day.
std::optional<std::chrono::milliseconds> Seconds(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
    return std::nullopt;
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(seconds > 0) || seconds > kLongestDeadlineSeconds)
    return std::nullopt;
  return std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
}

// "LINE,LOGIN,REQUEST" in seconds.
std::optional<ClientDeadlines> ParseDeadlines(const std::string& text) {
  std::optional<std::chrono::milliseconds> figures[3];
  std::size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t comma = text.find(',', start);
    if ((i < 2) != (comma != std::string::npos))
      return std::nullopt;
    figures[i] = Seconds(text.substr(start, comma == std::string::npos ? comma : comma - start));
    if (!figures[i])
      return std::nullopt;
    start = comma + 1;
  }
  return ClientDeadlines{figures[0], figures[1], figures[2]};
}

// The value of `name` given as "NAME VALUE" (moving `i` past it) or "NAME=VALUE"; empty
// when the value is missing; nothing when args[i] is another argument.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i,
                                       const std::string& name) {
  const std::string& arg = args[i];
  if (arg == name)
    return i + 1 < args.size() ? args[++i] : std::string();
  if (arg.starts_with(name + "="))
    return arg.substr(name.size() + 1);
  return std::nullopt;
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
    } else if (const auto directory = OptionValue(args, i, "--data-dir")) {
      if (directory->empty())
        return UsageError("--data-dir needs a directory");
      options.data_directory = *directory;
    } else if (const auto figures = OptionValue(args, i, kDeadlinesOption)) {
      const auto deadlines = ParseDeadlines(*figures);
      if (!deadlines) {
        return UsageError(std::string(kDeadlinesOption) +
                          " needs three positive figures of seconds: LINE,LOGIN,REQUEST");
      }
      options.deadlines = *deadlines;
    } else {
      return UsageError("unknown argument: " + arg);
    }
  }
  return options;
}

std::string DaemonUsage() {
  return "usage: vantreld [--data-dir DIR] [--client-deadlines LINE,LOGIN,REQUEST] [--help] "
         "[--version]";
}

}  // namespace vantrel
