#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/socket_address.h"

namespace vantrel::platform {

using Ipv6Bytes = std::array<std::uint8_t, 16>;

// The 16 bytes of an IPv6 address in any textual form (letter case, "::"), or nothing.
std::optional<Ipv6Bytes> ParseIpv6(std::string_view text);

// The one text the system writes for a numeric address of `version` ("::1" for
// "0:0::1"), or nothing when `text` is not one. Two addresses are the same host exactly
// when their canonical texts are equal.
std::optional<std::string> CanonicalAddress(std::string_view text, IpVersion version);

// The text the system writes for an address given as its bytes in network order
// (IPv4-mapped IPv6 addresses stay IPv6: "::ffff:a.b.c.d").
std::string Ipv4Text(std::span<const std::uint8_t, 4> bytes);
std::string Ipv6Text(std::span<const std::uint8_t, 16> bytes);

// "a.b.c.d" when `text` is an IPv4-mapped IPv6 address (::ffff:a.b.c.d), else nothing.
std::optional<std::string> MappedIpv4(std::string_view text);

}  // namespace vantrel::platform
