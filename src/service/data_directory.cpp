#include "service/data_directory.h"

#include "common/text.h"
#include "platform/process.h"

namespace vantrel {
namespace {

std::optional<std::string> Usable(const std::string& directory) {
  if (!platform::IsWritableDirectory(directory) && !platform::CreateDirectories(directory)) {
    return std::nullopt;
  }
  return WithTrailingSlash(directory);
}

}  // namespace

std::optional<std::string> ResolveDataDirectory(const std::optional<std::string>& requested) {
  if (requested)
    return Usable(*requested);
  const std::string program = platform::ExecutablePath();
  const auto slash = program.find_last_of('/');
  if (slash != std::string::npos) {
    const std::string directory = program.substr(0, slash + 1);
    if (platform::IsWritableDirectory(directory))
      return directory;
  }
  const auto home = platform::UserDataHome();
  if (!home)
    return std::nullopt;
  return Usable(*home + "/vantrel");
}

}  // namespace vantrel
