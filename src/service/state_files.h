#pragma once

// The settings export: the state files of the data directory packed into one storage
// container, and unpacked again by an import. An import takes nothing but those files:
// the data directory may be the program's own, and a container naming any other file
// could replace the program itself.

#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// Packs the settings, the monitored files and the accounts, those of them that exist, in
// that order. False when the container cannot be written.
bool ExportStateFiles(const std::string& data_directory, const std::string& container);

// The names of the state files extracted into `data_directory`. Nothing when the
// container cannot be read, holds none, or names any other file; a failure halfway leaves
// the files extracted before it in place.
std::optional<std::vector<std::string>> ImportStateFiles(const std::string& container,
                                                         const std::string& data_directory);

}  // namespace vantrel
