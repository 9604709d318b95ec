// The ban list's address patterns against peer addresses. Input: the address, a newline,
// the pattern. Besides surviving any text, the matcher must keep the promises the ban
// list relies on: a canonical address matches itself, the all-ranges pattern matches
// every IPv4 address, the IPv4-mapped IPv6 form of an address is banned exactly when the
// address is, and widening one part of an IPv4 pattern to its full range never turns a
// match into a miss. The ban list's index must agree with the matcher: a pattern said to
// match nothing matches nothing, and one said to name one address matches exactly the
// addresses that carry its key.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "config/address_pattern.h"
#include "platform/ip_text.h"

namespace {

using vantrel::MatchAddressPattern;
using vantrel::platform::IpVersion;

[[noreturn]] void Fail(const char* what, std::string_view address, std::string_view pattern) {
  std::cerr << "property violated: " << what << "\n  address: " << address
            << "\n  pattern: " << pattern << std::endl;
  std::abort();
}

// The pattern with its part `index` (of four, "."-separated) replaced by "0-255"; nothing
// when the pattern does not have exactly four parts.
std::string Widened(std::string_view pattern, int index) {
  std::string result;
  int part = 0;
  std::size_t start = 0;
  for (;;) {
    const auto dot = pattern.find('.', start);
    const std::string_view piece = pattern.substr(start, dot - start);
    if (part > 0)
      result += '.';
    result += part == index ? std::string_view("0-255") : piece;
    ++part;
    if (dot == std::string_view::npos)
      break;
    start = dot + 1;
  }
  return part == 4 ? result : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto newline = input.find('\n');
  const std::string_view address = input.substr(0, newline);
  const std::string_view pattern =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
  const bool matched = MatchAddressPattern(address, pattern);

  const vantrel::PatternReach reach = vantrel::ReachOfPattern(pattern);
  if (reach.kind == vantrel::PatternReach::Kind::kNothing && matched)
    Fail("a pattern said to match nothing matches", address, pattern);
  if (reach.kind == vantrel::PatternReach::Kind::kOne) {
    const auto keys = vantrel::KeysOfAddress(address);
    if (matched != (keys.ipv4 == reach.key || keys.ipv6 == reach.key))
      Fail("the index and the matcher disagree", address, pattern);
  }

  const auto ipv4 = vantrel::platform::CanonicalAddress(address, IpVersion::kV4);
  if (ipv4 && *ipv4 == address) {
    if (!MatchAddressPattern(address, address))
      Fail("an IPv4 address misses itself", address, address);
    if (!MatchAddressPattern(address, "0-255.0-255.0-255.0-255"))
      Fail("the all-ranges pattern misses an address", address, pattern);
    // An IPv6 pattern names one IPv6 address, which a plain IPv4 text never is.
    if (pattern.find(':') == std::string_view::npos &&
        MatchAddressPattern("::ffff:" + std::string(address), pattern) != matched)
      Fail("the mapped form is judged differently", address, pattern);
    if (matched && pattern.find(':') == std::string_view::npos) {
      for (int part = 0; part < 4; ++part) {
        const std::string wider = Widened(pattern, part);
        if (!wider.empty() && !MatchAddressPattern(address, wider))
          Fail("a wider pattern misses", address, wider);
      }
    }
  }
  const auto ipv6 = vantrel::platform::CanonicalAddress(address, IpVersion::kV6);
  if (ipv6 && !MatchAddressPattern(address, *ipv6))
    Fail("an IPv6 address misses its canonical form", address, *ipv6);
  return 0;
}
