#include "config/address_pattern.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

#include "common/text.h"
#include "platform/ip_text.h"

namespace vantrel {
namespace {

struct Range {
  long low = -1;
  long high = -1;
};

constexpr std::size_t kParts = 4;

long ParseDecimal(std::string_view text) {
  // Digits only, and few enough that no overflow can occur; anything else is invalid.
  if (text.empty() || text.size() > 9)
    return -1;
  long value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size())
    return -1;
  return value;
}

Range ParseRange(std::string_view part) {
  const auto dash = part.find('-');
  if (dash == std::string_view::npos) {
    const long n = ParseDecimal(part);
    return {n, n};
  }
  const long low = ParseDecimal(part.substr(0, dash));
  const long high = ParseDecimal(part.substr(dash + 1));
  if (low < 0 || high < 0)
    return {};
  return {low, high};
}

// Splits at "."; the last wanted part takes the rest when `rest_in_last`, otherwise
// parts beyond four are dropped. Fewer parts repeat the last one.
std::array<std::string_view, kParts> SplitParts(std::string_view text, bool rest_in_last) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto dot = text.find('.');
    const bool last_wanted = parts.size() + 1 == kParts;
    if (dot == std::string_view::npos || (last_wanted && rest_in_last)) {
      parts.push_back(text);
      break;
    }
    parts.push_back(text.substr(0, dot));
    text.remove_prefix(dot + 1);
    if (parts.size() == kParts)
      break;
  }
  std::array<std::string_view, kParts> four;
  for (std::size_t i = 0; i < kParts; ++i)
    four[i] = parts[std::min(i, parts.size() - 1)];
  return four;
}

bool MatchIpv4(std::string_view address, std::string_view pattern) {
  const auto numbers = SplitParts(address, true);
  const auto ranges = SplitParts(pattern, false);
  for (std::size_t i = 0; i < kParts; ++i) {
    const long n = ParseDecimal(numbers[i]);
    const Range range = ParseRange(ranges[i]);
    if (n < 0 || n < range.low || n > range.high)
      return false;
  }
  return true;
}

// The key is built from the numbers as MatchIpv4 compares them, so that every way of
// writing one address ("010.0.0.5", "10.0.0.5-5") files under the same key.
std::string Ipv4Key(const std::array<long, kParts>& numbers) {
  std::string key = "4:";
  for (const long n : numbers)
    key += std::to_string(n) + ".";
  return key;
}

std::string Ipv6Key(const platform::Ipv6Bytes& bytes) {
  return "6:" + std::string(bytes.begin(), bytes.end());
}

std::string_view Ipv4Form(std::string_view address, std::optional<std::string>& mapped) {
  mapped = platform::MappedIpv4(address);
  return mapped ? std::string_view(*mapped) : address;
}

}  // namespace

bool MatchAddressPattern(std::string_view address, std::string_view pattern) {
  address = Trim(address);
  pattern = Trim(pattern);
  // An IPv6 pattern first: read by the IPv4 rules, which drop parts beyond the fourth, a
  // text like "1.2.3.4.5:6" would otherwise ban a mapped peer that it does not name.
  if (pattern.find(':') != std::string_view::npos) {
    const auto a = platform::ParseIpv6(address);
    const auto p = platform::ParseIpv6(pattern);
    return a && p && *a == *p;
  }
  std::optional<std::string> mapped;
  return MatchIpv4(Ipv4Form(address, mapped), pattern);
}

PatternReach ReachOfPattern(std::string_view pattern) {
  pattern = Trim(pattern);
  if (pattern.find(':') != std::string_view::npos) {
    const auto bytes = platform::ParseIpv6(pattern);
    return bytes ? PatternReach{PatternReach::Kind::kOne, Ipv6Key(*bytes)} : PatternReach{};
  }
  const auto parts = SplitParts(pattern, false);
  std::array<long, kParts> numbers{};
  bool one = true;
  for (std::size_t i = 0; i < kParts; ++i) {
    const Range range = ParseRange(parts[i]);
    if (range.low < 0 || range.low > range.high)
      return {};
    one = one && range.low == range.high;
    numbers[i] = range.low;
  }
  if (!one)
    return {PatternReach::Kind::kRange, {}};
  return {PatternReach::Kind::kOne, Ipv4Key(numbers)};
}

AddressKeys KeysOfAddress(std::string_view address) {
  address = Trim(address);
  AddressKeys keys;
  if (const auto bytes = platform::ParseIpv6(address))
    keys.ipv6 = Ipv6Key(*bytes);
  std::optional<std::string> mapped;
  const auto parts = SplitParts(Ipv4Form(address, mapped), true);
  std::array<long, kParts> numbers{};
  for (std::size_t i = 0; i < kParts; ++i) {
    numbers[i] = ParseDecimal(parts[i]);
    if (numbers[i] < 0)
      return keys;
  }
  keys.ipv4 = Ipv4Key(numbers);
  return keys;
}

}  // namespace vantrel
