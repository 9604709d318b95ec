#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// A packed list keeps each item followed by ";". Only pieces that end in ";" are items:
// text after the last ";" is dropped, so "a;b;c" holds two items.
std::vector<std::string> SplitPacked(std::string_view packed);
std::string JoinPacked(const std::vector<std::string>& items);

// An item of the form name "=" value, split at the first "=". Without "=" the whole item
// is the value and the name is empty.
struct NameValue {
  std::string_view name;
  std::string_view value;
  bool has_separator = false;
};
NameValue SplitNameValue(std::string_view item);

}  // namespace vantrel
