#pragma once

#include <string_view>

namespace vantrel {

// Tests a peer address against one ban pattern. IPv4 patterns have four "."-separated
// parts, each a number n or a range a-b ("192.168.1.0-255"); a malformed part matches
// nothing. A pattern containing ":" names one IPv6 address and matches it exactly, however
// either side is written. An IPv4-mapped IPv6 peer (::ffff:a.b.c.d) is tested as IPv4.
bool MatchAddressPattern(std::string_view address, std::string_view pattern);

}  // namespace vantrel
