#include "platform/tcp_socket.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

#include "platform/socket_error.h"
#include "platform/socket_os.h"

namespace vantrel::platform {
namespace {

std::string Describe(const SocketAddress& address) {
  return address.version == IpVersion::kV6 ? "[" + address.ip + "]:" + std::to_string(address.port)
                                           : address.ip + ":" + std::to_string(address.port);
}

void RequirePositive(std::chrono::milliseconds timeout) {
  if (timeout.count() <= 0)
    throw std::invalid_argument("socket time-outs must be positive");
}

void SetBufferOption(int fd, int option, int bytes) {
  if (::setsockopt(fd, SOL_SOCKET, option, &bytes, sizeof bytes) != 0) {
    os::ThrowErrno("cannot set a socket buffer size");
  }
}

}  // namespace

TcpSocket::TcpSocket(int fd) : fd_(fd) {
  try {
    local_ = os::LocalAddressOf(fd_);
    peer_ = os::PeerAddressOf(fd_);
  } catch (...) {
    os::CloseQuietly(fd_);
    throw;
  }
}

TcpSocket::~TcpSocket() {
  Close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      read_timeout_(other.read_timeout_),
      write_timeout_(other.write_timeout_),
      local_(std::move(other.local_)),
      peer_(std::move(other.peer_)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    read_timeout_ = other.read_timeout_;
    write_timeout_ = other.write_timeout_;
    local_ = std::move(other.local_);
    peer_ = std::move(other.peer_);
  }
  return *this;
}

TcpSocket TcpSocket::Connect(const SocketAddress& remote, std::chrono::milliseconds timeout,
                             const std::optional<SocketAddress>& local) {
  RequirePositive(timeout);
  const os::Address target = os::ToOsAddress(remote.ip, remote.port, remote.version);
  const int family = remote.version == IpVersion::kV4 ? AF_INET : AF_INET6;
  int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0)
    os::ThrowErrno("cannot create a socket for " + Describe(remote));
  try {
    if (local) {
      const int on = 1;
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      const os::Address from = os::ToOsAddress(local->ip, local->port, local->version);
      if (::bind(fd, from.get(), from.length) != 0) {
        os::ThrowErrno("cannot bind to " + Describe(*local));
      }
    }
    if (::connect(fd, target.get(), target.length) != 0) {
      if (errno != EINPROGRESS && errno != EINTR) {
        os::ThrowErrno("cannot connect to " + Describe(remote));
      }
      pollfd wait{fd, POLLOUT, 0};
      if (!os::Poll(&wait, 1, timeout)) {
        throw SocketTimeout("no connection to " + Describe(remote) + " within the time-out");
      }
      int error = 0;
      socklen_t length = sizeof error;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
      if (error != 0) {
        errno = error;
        os::ThrowErrno("cannot connect to " + Describe(remote));
      }
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return TcpSocket(fd);
  } catch (...) {
    os::CloseQuietly(fd);
    throw;
  }
}

std::size_t TcpSocket::Read(char* buffer, std::size_t size) {
  if (fd_ < 0)
    throw SocketError("read from a closed socket");
  for (;;) {
    const ssize_t got = ::recv(fd_, buffer, size, 0);
    if (got >= 0)
      return static_cast<std::size_t>(got);
    if (errno == EINTR)
      continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      os::ThrowErrno("cannot read from " + Describe(peer_));
    }
    pollfd wait{fd_, POLLIN, 0};
    if (!os::Poll(&wait, 1, read_timeout_)) {
      throw SocketTimeout("read time-out on the connection from " + Describe(peer_));
    }
  }
}

bool TcpSocket::WaitReadable(std::chrono::milliseconds timeout) const {
  if (fd_ < 0)
    return true;
  pollfd wait{fd_, POLLIN, 0};
  return os::Poll(&wait, 1, timeout);
}

void TcpSocket::Write(std::string_view data) {
  if (fd_ < 0)
    throw SocketError("write to a closed socket");
  while (!data.empty()) {
    // MSG_NOSIGNAL: a peer that has gone is an error to report, not a signal that kills us.
    const ssize_t sent = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent >= 0) {
      data.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (errno == EINTR)
      continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      os::ThrowErrno("cannot write to " + Describe(peer_));
    }
    pollfd wait{fd_, POLLOUT, 0};
    if (!os::Poll(&wait, 1, write_timeout_)) {
      throw SocketTimeout("write time-out on the connection to " + Describe(peer_));
    }
  }
}

void TcpSocket::Shutdown() {
  if (fd_ >= 0)
    ::shutdown(fd_, SHUT_RDWR);
}

void TcpSocket::Close() {
  os::CloseQuietly(fd_);
}

void TcpSocket::SetReadTimeout(std::chrono::milliseconds timeout) {
  RequirePositive(timeout);
  read_timeout_ = timeout;
}

void TcpSocket::SetWriteTimeout(std::chrono::milliseconds timeout) {
  RequirePositive(timeout);
  write_timeout_ = timeout;
}

void TcpSocket::SetReceiveBufferSize(int bytes) {
  if (fd_ >= 0)
    SetBufferOption(fd_, SO_RCVBUF, bytes);
}

void TcpSocket::SetSendBufferSize(int bytes) {
  if (fd_ >= 0)
    SetBufferOption(fd_, SO_SNDBUF, bytes);
}

}  // namespace vantrel::platform
