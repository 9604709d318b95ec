#include "platform/socket_os.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "platform/socket_error.h"

namespace vantrel::platform::os {

Address ToOsAddress(const std::string& ip, int port, IpVersion version) {
  if (port < 0 || port > 65535)
    throw SocketError("Invalid port number " + std::to_string(port));
  const std::string text = ip.empty() ? AnyAddress(version) : ip;
  Address address;
  if (version == IpVersion::kV4) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) != 1) {
      throw SocketError("Invalid IPv4 address \"" + text + "\"");
    }
    address.length = sizeof(sockaddr_in);
  } else {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) != 1) {
      throw SocketError("Invalid IPv6 address \"" + text + "\"");
    }
    address.length = sizeof(sockaddr_in6);
  }
  return address;
}

SocketAddress FromOsAddress(const sockaddr_storage& storage) {
  char text[INET6_ADDRSTRLEN] = {};
  SocketAddress result;
  if (storage.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&storage);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    result.port = ntohs(v6->sin6_port);
    result.version = IpVersion::kV6;
  } else if (storage.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&storage);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    result.port = ntohs(v4->sin_port);
  }
  result.ip = text;
  return result;
}

SocketAddress LocalAddressOf(int fd) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    ThrowErrno("cannot read the local address of a socket");
  }
  return FromOsAddress(storage);
}

SocketAddress PeerAddressOf(int fd) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    ThrowErrno("cannot read the peer address of a socket");
  }
  return FromOsAddress(storage);
}

std::string Describe(const SocketAddress& address) {
  return address.version == IpVersion::kV6 ? "[" + address.ip + "]:" + std::to_string(address.port)
                                           : address.ip + ":" + std::to_string(address.port);
}

void ThrowErrno(const std::string& what) {
  throw SocketError(what + ": " + ::strerror(errno));
}

bool Poll(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    const int wait = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT32_MAX));
    const int ready = ::poll(fds, count, wait);
    if (ready > 0)
      return true;
    if (ready == 0) {
      if (Clock::now() >= deadline)
        return false;
      continue;  // poll rounds down; wait out the rest rather than report early
    }
    if (errno != EINTR)
      ThrowErrno("cannot wait on a socket");
  }
}

void SetNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    ThrowErrno("cannot make a socket non-blocking");
  }
}

void CloseQuietly(int& fd) {
  if (fd < 0)
    return;
  ::close(fd);  // after close the descriptor is gone even on EINTR: never retry
  fd = -1;
}

}  // namespace vantrel::platform::os

namespace vantrel::platform {

std::string LastSocketErrorText() {
  return ::strerror(errno);
}

}  // namespace vantrel::platform
