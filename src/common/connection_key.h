#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// Names one FTP connection: peer address, ":", peer port ("192.168.1.20:3012").
std::string ConnectionKey(std::string_view peer_address, int peer_port);

// The peer address part of a key (everything before the last ":"), so IPv6 keys such as
// "::1:5000" give back "::1".
std::string_view AddressOfKey(std::string_view key);

}  // namespace vantrel
