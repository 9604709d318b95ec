#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/socket_address.h"

namespace vantrel::platform {

// The numeric addresses of `host` (a name or a numeric address), of one version when
// given, in the order the system prefers. The wait is bounded by the system's resolver
// settings (time-out and attempts of resolv.conf). Throws SocketError with the
// resolver's reason when nothing is found.
std::vector<SocketAddress> ResolveHost(const std::string& host, int port,
                                       std::optional<IpVersion> version = std::nullopt);

// Whether this host can bind an IPv6 socket at all (kernels and containers may lack it).
bool IsIpv6Available();

// Whether the numeric address `ip` belongs to this machine, so that a socket may listen on
// it: an interface's address, or any of 127.0.0.0/8. False for anything else, a router's
// public address for one.
bool IsOwnAddress(const std::string& ip);

}  // namespace vantrel::platform
