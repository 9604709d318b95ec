#include "common/packed_list.h"

namespace vantrel {

std::vector<std::string> SplitPacked(std::string_view packed) {
  std::vector<std::string> items;
  for (auto end = packed.find(';'); end != std::string_view::npos; end = packed.find(';')) {
    items.emplace_back(packed.substr(0, end));
    packed.remove_prefix(end + 1);
  }
  return items;
}

std::string JoinPacked(const std::vector<std::string>& items) {
  std::string packed;
  for (const auto& item : items) {
    packed += item;
    packed += ';';
  }
  return packed;
}

NameValue SplitNameValue(std::string_view item) {
  const auto equals = item.find('=');
  if (equals == std::string_view::npos)
    return NameValue{{}, item, false};
  return NameValue{item.substr(0, equals), item.substr(equals + 1), true};
}

}  // namespace vantrel
