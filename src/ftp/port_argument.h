#pragma once

// The arguments a client gives to say where the server connects for an active transfer,
// and the protocol numbers of the extended commands. Pure parsing, no socket touched.

#include <optional>
#include <string_view>
#include <variant>

#include "ftp/reply.h"
#include "platform/socket_address.h"

namespace vantrel {

// A port number from 1 to 65535 written in decimal digits only.
std::optional<int> PortNumberOf(std::string_view text);
// "h1,h2,h3,h4,p1,p2": four address bytes and the port's two (PORT); nothing when
// malformed or naming port 0.
std::optional<platform::SocketAddress> ParsePortArgument(std::string_view text);
// "|protocol|address|port|", any character serving as the delimiter (EPRT) on a control
// connection of `control`'s family; the failure reply otherwise (501 standing for the
// parameter error).
std::variant<platform::SocketAddress, Reply> ParseEprtArgument(std::string_view text,
                                                               platform::IpVersion control);
// "1" for IPv4, "2" for IPv6, as EPRT and EPSV name the protocols.
const char* ProtocolNumber(platform::IpVersion version);

}  // namespace vantrel
