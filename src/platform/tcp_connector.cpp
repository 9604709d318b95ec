#include "platform/tcp_connector.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <utility>

#include "platform/socket_error.h"
#include "platform/socket_os.h"

namespace vantrel::platform {

TcpConnector::TcpConnector(const SocketAddress& remote, const std::optional<SocketAddress>& local)
    : remote_(remote) {
  const os::Address target = os::ToOsAddress(remote.ip, remote.port, remote.version);
  const int family = remote.version == IpVersion::kV4 ? AF_INET : AF_INET6;
  fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0)
    os::ThrowErrno("cannot create a socket for " + os::Describe(remote));
  try {
    if (local) {
      const int on = 1;
      ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      const os::Address from = os::ToOsAddress(local->ip, local->port, local->version);
      if (::bind(fd_, from.get(), from.length) != 0) {
        os::ThrowErrno("cannot bind to " + os::Describe(*local));
      }
    }
    if (::connect(fd_, target.get(), target.length) != 0 && errno != EINPROGRESS &&
        errno != EINTR) {
      os::ThrowErrno("cannot connect to " + os::Describe(remote));
    }
  } catch (...) {
    os::CloseQuietly(fd_);
    throw;
  }
}

TcpConnector::~TcpConnector() {
  os::CloseQuietly(fd_);
}

TcpSocket TcpConnector::Finish() {
  if (fd_ < 0)
    throw SocketError("the connection to " + os::Describe(remote_) + " was already taken");
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
    error = errno;
  if (error == 0) {
    // Still in progress reads as "not connected" from getpeername below.
    pollfd probe{fd_, POLLOUT, 0};
    if (!os::Poll(&probe, 1, std::chrono::milliseconds(0)))
      error = EINPROGRESS;
  }
  if (error != 0) {
    errno = error;
    os::ThrowErrno("cannot connect to " + os::Describe(remote_));
  }
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return TcpSocket(std::exchange(fd_, -1));
}

}  // namespace vantrel::platform
