#include "config/address_pattern.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

struct Case {
  const char* address;
  const char* pattern;
  bool matches;
};

TEST(AddressPattern, Table) {
  const Case cases[] = {
      {"10.0.0.5", "10.0.0.5", true},
      {"10.0.0.6", "10.0.0.5", false},
      {"192.168.1.1", "192.168.1.1-50", true},
      {"192.168.1.50", "192.168.1.1-50", true},
      {"192.168.1.51", "192.168.1.1-50", false},
      {"192.168.1.0", "192.168.1.1-50", false},
      {"192.168.2.7", "192.168.1.1-50", false},
      {"192.168.7.200", "192.168.0-255.0-255", true},
      {"192.168.1.9", "192.168.1.50-1", false},  // reversed range holds nothing
      {"10.0.0.5", "host.example.com", false},   // host names never match
      {"10.0.0.5", "10.0.x.5", false},           // malformed part
      {"10.0.0.5", "10.0.0.-5", false},
      {"10.0.0.5", "10.0.0.5-", false},
      {"10.0.0.5", "", false},
      {"10.0.0.10", "10.0.0", false},  // last part repeats: 10.0.0.0
      {"10.0.0.0", "10.0.0", true},
      {"7.7.7.7", "7", true},             // one part repeats four times
      {"10.0.0.5", "10.0.0.5.99", true},  // parts after the fourth are ignored
      {"10.0.0.5.1", "10.0.0.5", false},  // the address's fourth part is the rest
      {"10.0.0", "10.0.0.0", true},
      {"::ffff:10.0.0.5", "10.0.0.5", true},  // IPv4-mapped peer tested as IPv4
      {"::1", "0.0.0.0-255", false},          // IPv6 peer vs IPv4 pattern
      {"2001:db8::1", "2001:DB8:0:0:0:0:0:1", true},
      {"2001:db8::1", "2001:db8::2", false},
      {"10.0.0.5", "2001:db8::1", false},
      {"2001:db8::1", "not:an:address", false},
      {"99999999999.0.0.1", "0-4294967295.0.0.1", false},  // no overflow into a match
      {"10.0.0.5", "010.0.0.5-5", true},                   // one address, written oddly
      {" 10.0.0.5 ", "10.0.0.5", true},
      {"::ffff:10.0.0.5", "::FFFF:a00:5", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchAddressPattern(c.address, c.pattern), c.matches)
        << c.address << " against " << c.pattern;
    // The ban list's index files one-address patterns by key: it must say the same.
    const PatternReach reach = ReachOfPattern(c.pattern);
    if (reach.kind == PatternReach::Kind::kOne) {
      const AddressKeys keys = KeysOfAddress(c.address);
      EXPECT_EQ(keys.ipv4 == reach.key || keys.ipv6 == reach.key, c.matches)
          << c.address << " looked up as " << c.pattern;
    }
  }
}

TEST(AddressPattern, ReachOfPatterns) {
  using Kind = PatternReach::Kind;
  const struct {
    const char* pattern;
    Kind kind;
  } cases[] = {
      {"10.0.0.5", Kind::kOne},
      {" 010.0.0.5-5 ", Kind::kOne},
      {"7", Kind::kOne},
      {"2001:db8::1", Kind::kOne},
      {"192.168.1.1-50", Kind::kRange},
      {"0-255.0-255.0-255.0-255", Kind::kRange},
      {"10.0.x.5", Kind::kNothing},
      {"192.168.1.50-1", Kind::kNothing},
      {"not:an:address", Kind::kNothing},
      {"", Kind::kNothing},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReachOfPattern(c.pattern).kind, c.kind) << c.pattern;
  EXPECT_EQ(ReachOfPattern("10.0.0.5").key, ReachOfPattern("10.000.0.5").key);
}

}  // namespace
}  // namespace vantrel
