#pragma once

// Shared by the socket wrappers of this directory only: the conversions between our
// address text and the system's structures, and the one wait primitive every blocking
// call goes through. Nothing outside src/platform includes this header.

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <string>

#include "platform/socket_address.h"

namespace vantrel::platform::os {

struct Address {
  sockaddr_storage storage{};
  socklen_t length = 0;

  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

// Throws SocketError naming `ip` when it is not a numeric address of `version`; an empty
// ip means every interface.
Address ToOsAddress(const std::string& ip, int port, IpVersion version);
SocketAddress FromOsAddress(const sockaddr_storage& storage);

SocketAddress LocalAddressOf(int fd);
SocketAddress PeerAddressOf(int fd);

// "ip:port", or "[ip]:port" for IPv6, for messages.
std::string Describe(const SocketAddress& address);

// `what` followed by ": " and the text of the current errno.
[[noreturn]] void ThrowErrno(const std::string& what);

// Waits on the descriptors until one has an event or `timeout` passed, retrying after
// signals with the time that is left. Returns false on time-out.
bool Poll(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout);

void SetNonBlocking(int fd);
void CloseQuietly(int& fd);

}  // namespace vantrel::platform::os
