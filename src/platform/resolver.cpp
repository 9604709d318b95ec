#include "platform/resolver.h"

#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "platform/socket_error.h"
#include "platform/socket_os.h"

namespace vantrel::platform {

std::vector<SocketAddress> ResolveHost(const std::string& host, int port,
                                       std::optional<IpVersion> version) {
  addrinfo hints{};
  hints.ai_family = !version ? AF_UNSPEC : (*version == IpVersion::kV4 ? AF_INET : AF_INET6);
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (status != 0) {
    throw SocketError("cannot resolve \"" + host + "\": " + ::gai_strerror(status));
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, &::freeaddrinfo);
  std::vector<SocketAddress> addresses;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6)
      continue;
    sockaddr_storage storage{};
    std::memcpy(&storage, entry->ai_addr, entry->ai_addrlen);
    SocketAddress address = os::FromOsAddress(storage);
    bool seen = false;
    for (const auto& known : addresses)
      seen = seen || known == address;
    if (!seen)
      addresses.push_back(std::move(address));
  }
  if (addresses.empty())
    throw SocketError("cannot resolve \"" + host + "\": no address");
  return addresses;
}

bool IsIpv6Available() {
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return false;
  sockaddr_in6 any{};
  any.sin6_family = AF_INET6;
  any.sin6_addr = in6addr_any;
  const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
  ::close(fd);
  return bound;
}

bool IsOwnAddress(const std::string& ip) {
  const std::optional<IpVersion> version = NumericAddressVersion(ip);
  if (!version)
    return false;
  // The kernel's own answer rather than a walk over the interface list: a bind fails
  // with EADDRNOTAVAIL exactly for addresses that are not this host's, and the list
  // would miss the loopback range beyond 127.0.0.1.
  const os::Address address = os::ToOsAddress(ip, 0, *version);
  const int fd = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // Out of descriptors, say: the listener's own bind will tell.
  if (fd < 0)
    return errno != EAFNOSUPPORT;
  const bool bound = ::bind(fd, address.get(), address.length) == 0;
  const bool foreign = !bound && errno == EADDRNOTAVAIL;
  ::close(fd);
  return !foreign;
}

}  // namespace vantrel::platform
