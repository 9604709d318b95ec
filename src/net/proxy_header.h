#pragma once

// The header a load balancer puts in front of a proxied connection to say who the client
// really is, in either of its two forms: a text line ("PROXY TCP4 <source> <destination>
// <source port> <destination port>\r\n", at most 107 bytes) or a binary block (a 12-byte
// signature, version and command, family, a 16-bit length, the addresses, then optional
// type-length-value fields, which are skipped).
//
// The parser is a pure function over the bytes received so far, so the connection thread
// can read with its own time-out and ask again; it never blocks, allocates little and keeps
// no state between calls. Every limit is checked as soon as the bytes that break it
// arrive: a client that skips the load balancer and speaks first ("USER x", "GET /") is
// refused on its first byte rather than after the time-out, and neither form can make the
// server wait for or buffer more than 107 or 16 + kMaxProxyV2Length bytes.
//
// Addresses come out in the system's own canonical text, IPv4-mapped IPv6 addresses
// staying IPv6 ("::ffff:a.b.c.d") as the socket layer writes a dual-stack peer, so ban
// lists and per-address limits treat a proxied peer like a direct one.

#include <cstddef>
#include <string_view>

#include "platform/socket_address.h"

namespace vantrel {

struct ProxyHeader {
  // The balancer's own connection (a health check, "UNKNOWN", an address family that has
  // no IP): use the connection's addresses; `source` and `destination` are empty.
  bool local = false;
  platform::SocketAddress source, destination;
};

enum class ProxyParse { kNeedMore, kDone, kMalformed };

inline constexpr std::size_t kMaxProxyV1Length = 107;
// The binary form may announce up to 64 KiB; no balancer sends more than a few hundred.
inline constexpr std::size_t kMaxProxyV2Length = 4096;

// Looks at the bytes received so far. kDone sets `header` and `consumed` (the header's
// length; the client's own bytes start there). Any call may be repeated with more bytes.
ProxyParse ParseProxyHeader(std::string_view received, ProxyHeader& header, std::size_t& consumed);

}  // namespace vantrel
