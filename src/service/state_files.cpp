#include "service/state_files.h"

#include "accounts/users.h"
#include "common/error.h"
#include "common/text.h"
#include "config/settings.h"
#include "config/storage_file.h"
#include "monitor/special_files.h"
#include "platform/file_system.h"

namespace vantrel {
namespace {

const char* const kStateFiles[] = {Settings::kFileName, SpecialFiles::kFileName, Users::kFileName};

std::optional<std::string> StateFileNamed(const std::string& entry) {
  for (const char* name : kStateFiles) {
    if (EqualsIgnoreCase(entry, name))
      return std::string(name);
  }
  return std::nullopt;
}

}  // namespace

bool ExportStateFiles(const std::string& data_directory, const std::string& container) {
  std::vector<std::string> files;
  for (const char* name : kStateFiles) {
    if (platform::PathExists(data_directory + name))
      files.push_back(data_directory + name);
  }
  try {
    return StorageFile(container).SaveFiles(files);
  } catch (const Error&) {
    return false;
  }
}

std::optional<std::vector<std::string>> ImportStateFiles(const std::string& container,
                                                         const std::string& data_directory) {
  try {
    StorageFile storage(container);
    std::vector<std::string> names;
    for (const std::string& entry : storage.ListEntries()) {
      const std::optional<std::string> name = StateFileNamed(entry);
      if (!name)
        return std::nullopt;
      names.push_back(*name);
    }
    if (names.empty())
      return std::nullopt;
    for (const std::string& name : names) {
      if (!storage.ExtractToFile(name, data_directory))
        return std::nullopt;
    }
    return names;
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace vantrel
