#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::platform {

enum class IpVersion { kV4, kV6 };

// One end of a TCP connection as text: numeric address ("192.168.1.20", "::1") and port.
struct SocketAddress {
  std::string ip;
  int port = 0;
  IpVersion version = IpVersion::kV4;

  bool operator==(const SocketAddress&) const = default;
};

// The version of a numeric address, or nothing when `text` is not one.
std::optional<IpVersion> NumericAddressVersion(std::string_view text);

// The address any interface of that version is reached by ("0.0.0.0", "::").
std::string AnyAddress(IpVersion version);

}  // namespace vantrel::platform
