#include "platform/ip_text.h"

#include <arpa/inet.h>

#include <cstring>

namespace vantrel::platform {

std::optional<Ipv6Bytes> ParseIpv6(std::string_view text) {
  if (text.size() >= INET6_ADDRSTRLEN)
    return std::nullopt;
  const std::string terminated(text);
  struct in6_addr parsed {};
  if (inet_pton(AF_INET6, terminated.c_str(), &parsed) != 1)
    return std::nullopt;
  Ipv6Bytes bytes;
  std::memcpy(bytes.data(), &parsed, bytes.size());
  return bytes;
}

std::optional<std::string> CanonicalAddress(std::string_view text, IpVersion version) {
  if (text.size() >= INET6_ADDRSTRLEN)
    return std::nullopt;
  const std::string terminated(text);
  const int family = version == IpVersion::kV4 ? AF_INET : AF_INET6;
  struct in6_addr parsed {};  // large enough for either family
  if (inet_pton(family, terminated.c_str(), &parsed) != 1)
    return std::nullopt;
  char out[INET6_ADDRSTRLEN];
  if (!inet_ntop(family, &parsed, out, sizeof out))
    return std::nullopt;
  return std::string(out);
}

std::string Ipv4Text(std::span<const std::uint8_t, 4> bytes) {
  char out[INET_ADDRSTRLEN];
  ::inet_ntop(AF_INET, bytes.data(), out, sizeof out);
  return out;
}

std::string Ipv6Text(std::span<const std::uint8_t, 16> bytes) {
  char out[INET6_ADDRSTRLEN];
  ::inet_ntop(AF_INET6, bytes.data(), out, sizeof out);
  return out;
}

std::optional<std::string> MappedIpv4(std::string_view text) {
  const auto bytes = ParseIpv6(text);
  if (!bytes)
    return std::nullopt;
  static constexpr std::uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (std::memcmp(bytes->data(), kPrefix, sizeof kPrefix) != 0)
    return std::nullopt;
  char out[INET_ADDRSTRLEN];
  if (!inet_ntop(AF_INET, bytes->data() + 12, out, sizeof out))
    return std::nullopt;
  return std::string(out);
}

}  // namespace vantrel::platform
