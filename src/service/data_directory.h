#pragma once

#include <optional>
#include <string>

namespace vantrel {

// Where the state files live: the given directory when the operator named one, else the
// directory of the program file, unless that is not writable (a copy installed
// system-wide); then the user's data home + "/vantrel". The result ends in "/" and
// exists. Nothing when no usable directory can be found or created.
std::optional<std::string> ResolveDataDirectory(const std::optional<std::string>& requested);

}  // namespace vantrel
