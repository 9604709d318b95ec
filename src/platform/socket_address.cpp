#include "platform/socket_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace vantrel::platform {

std::optional<IpVersion> NumericAddressVersion(std::string_view text) {
  const std::string copy(text);
  in6_addr buffer{};
  if (::inet_pton(AF_INET, copy.c_str(), &buffer) == 1)
    return IpVersion::kV4;
  if (::inet_pton(AF_INET6, copy.c_str(), &buffer) == 1)
    return IpVersion::kV6;
  return std::nullopt;
}

std::string AnyAddress(IpVersion version) {
  return version == IpVersion::kV4 ? "0.0.0.0" : "::";
}

}  // namespace vantrel::platform
