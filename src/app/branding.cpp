#include "app/branding.h"

#include <sstream>

#include "common/error.h"
#include "common/packed_list.h"
#include "common/text.h"
#include "config/storage_file.h"
#include "platform/file_system.h"

namespace vantrel {
namespace {

std::optional<std::string> Extract(StorageFile& container, const char* entry) {
  std::ostringstream content;
  if (!container.ExtractToStream(entry, content))
    return std::nullopt;
  return content.str();
}

void ApplyValues(const std::string& text, Branding& branding) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const NameValue pair = SplitNameValue(Trim(line));
    if (!pair.has_separator)
      continue;
    const std::string value(pair.value);
    if (EqualsIgnoreCase(pair.name, "homepage"))
      branding.homepage = value;
    else if (EqualsIgnoreCase(pair.name, "company"))
      branding.company = value;
    else if (EqualsIgnoreCase(pair.name, "author"))
      branding.author = value;
    else if (EqualsIgnoreCase(pair.name, "ftpserver"))
      branding.ftpserver = value;
  }
}

}  // namespace

std::optional<Branding> ReadBranding(const std::string& data_directory) {
  const std::string path = data_directory + Branding::kFileName;
  if (!platform::PathExists(path))
    return std::nullopt;
  Branding branding;
  StorageFile container(path);
  try {
    if (const auto values = Extract(container, "data.0"))
      ApplyValues(*values, branding);
    branding.picture = Extract(container, "data.1");
  } catch (const Error&) {
    // A damaged container brands with what was read before the damage.
  }
  return branding;
}

}  // namespace vantrel
