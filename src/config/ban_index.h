#pragma once

// The ban list indexed for the question asked on every connection: is this peer banned?
// The stored form stays the packed "pattern=reason;" text of the settings; this index is
// rebuilt from it on load and on every edit of the whole list, and grows with each ban
// added. Patterns that name one address (the common case, and every automatic ban) sit
// in a hash set, so that a list of ten thousand costs a lookup as one of ten does; the
// rest (ranges) are tested one by one after it. Testing every pattern in order, as the
// list reads, was rejected: its cost grows with the list, which an attack lengthens.

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vantrel {

// Owned by Settings and used under its lock only.
class BanIndex {
 public:
  // Replaces the index with the items of a packed ban list.
  void Rebuild(std::string_view packed);
  // Adds the items of packed text appended to the list.
  void Add(std::string_view packed);
  // The same answer as testing every item's pattern with MatchAddressPattern.
  bool Matches(std::string_view address) const;

 private:
  std::unordered_set<std::string> single_addresses_;
  std::vector<std::string> ranges_;
};

}  // namespace vantrel
