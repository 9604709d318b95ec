#include "web/name_value_list.h"

#include <algorithm>

#include "common/text.h"

namespace vantrel {

std::string_view NameValueList::NameOf(std::string_view line) {
  return line.substr(0, line.find('='));
}

std::string_view NameValueList::ValueOf(std::string_view line) {
  const auto equals = line.find('=');
  return equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
}

std::string NameValueList::Value(std::string_view name) const {
  for (const auto& line : lines_) {
    if (EqualsIgnoreCase(NameOf(line), name))
      return std::string(ValueOf(line));
  }
  return {};
}

void NameValueList::SetValue(std::string_view name, std::string_view value) {
  std::string line = std::string(name) + "=" + std::string(value);
  const auto found = std::find_if(lines_.begin(), lines_.end(), [name](const std::string& l) {
    return EqualsIgnoreCase(NameOf(l), name);
  });
  if (found == lines_.end()) {
    lines_.push_back(std::move(line));
  } else {
    *found = std::move(line);
  }
}

}  // namespace vantrel
