#pragma once

// custom.config, the optional branding file: a storage container whose entry "data.0"
// holds name=value lines ("homepage", "company", "author", "ftpserver") and whose entry
// "data.1" holds a picture for the About tab.

#include <optional>
#include <string>

namespace vantrel {

struct Branding {
  static constexpr const char* kFileName = "custom.config";

  std::optional<std::string> homepage;
  std::optional<std::string> company;
  std::optional<std::string> author;
  std::optional<std::string> ftpserver;
  std::optional<std::string> picture;  // the image file's bytes
};

// Nothing when the data directory (ending in "/") has no custom.config. A damaged file
// gives whatever could be read before the damage. Main thread, start-up.
std::optional<Branding> ReadBranding(const std::string& data_directory);

}  // namespace vantrel
