#include "config/ban_index.h"

#include "common/packed_list.h"
#include "config/address_pattern.h"

namespace vantrel {

void BanIndex::Rebuild(std::string_view packed) {
  single_addresses_.clear();
  ranges_.clear();
  Add(packed);
}

void BanIndex::Add(std::string_view packed) {
  for (const auto& item : SplitPacked(packed)) {
    // An item without "=" has no pattern and bans nobody.
    const NameValue entry = SplitNameValue(item);
    if (!entry.has_separator)
      continue;
    PatternReach reach = ReachOfPattern(entry.name);
    if (reach.kind == PatternReach::Kind::kOne)
      single_addresses_.insert(std::move(reach.key));
    else if (reach.kind == PatternReach::Kind::kRange)
      ranges_.emplace_back(entry.name);
  }
}

bool BanIndex::Matches(std::string_view address) const {
  const AddressKeys keys = KeysOfAddress(address);
  for (const auto* key : {&keys.ipv4, &keys.ipv6}) {
    if (*key && single_addresses_.contains(**key))
      return true;
  }
  for (const auto& pattern : ranges_) {
    if (MatchAddressPattern(address, pattern))
      return true;
  }
  return false;
}

}  // namespace vantrel
