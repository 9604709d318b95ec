#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Tests a peer address against one ban pattern. IPv4 patterns have four "."-separated
// parts, each a number n or a range a-b ("192.168.1.0-255"); a malformed part matches
// nothing. A pattern containing ":" names one IPv6 address and matches it exactly, however
// either side is written. An IPv4-mapped IPv6 peer (::ffff:a.b.c.d) is tested as IPv4.
bool MatchAddressPattern(std::string_view address, std::string_view pattern);

// What a ban pattern can match, so that a long ban list need not test every pattern: the
// patterns that name one address are looked up by key, and only ranges are tested.
struct PatternReach {
  enum class Kind {
    kNothing,  // malformed: MatchAddressPattern is false for every address
    kOne,      // matches exactly the addresses that have `key` among their AddressKeys
    kRange,    // anything else: only MatchAddressPattern can tell
  };
  Kind kind = Kind::kNothing;
  std::string key;  // for kOne
};
PatternReach ReachOfPattern(std::string_view pattern);

// The keys under which a kOne pattern that matches `address` is filed: its numbers as an
// IPv4 pattern reads them, and its bytes as an IPv6 pattern reads them.
struct AddressKeys {
  std::optional<std::string> ipv4;
  std::optional<std::string> ipv6;
};
AddressKeys KeysOfAddress(std::string_view address);

}  // namespace vantrel
