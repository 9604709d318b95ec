#include "platform/tcp_listener.h"

#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/socket_error.h"
#include "platform/socket_os.h"

namespace vantrel::platform {
namespace {

std::string Describe(const std::string& ip, int port, IpVersion version) {
  const std::string shown = ip.empty() ? AnyAddress(version) : ip;
  return version == IpVersion::kV6 ? "[" + shown + "]:" + std::to_string(port)
                                   : shown + ":" + std::to_string(port);
}

bool IsTransientAcceptError(int error) {
  // The connection went away between poll and accept, or another accept took it.
  return error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED || error == EINTR ||
         error == EPROTO;
}

// Two sockets with SO_REUSEADDR may both bind a port; only the second listen then finds
// it taken. Either way the caller learns "in use" and may try another port.
[[noreturn]] void ThrowBindError(const std::string& what) {
  if (errno == EADDRINUSE)
    throw AddressInUse(what + ": " + ::strerror(errno));
  os::ThrowErrno(what);
}

}  // namespace

TcpListener::TcpListener(const std::string& ip, int port, IpVersion version, bool reuse_address,
                         Wakeable wakeable) {
  const std::string where = Describe(ip, port, version);
  const os::Address address = os::ToOsAddress(ip, port, version);
  const int family = version == IpVersion::kV4 ? AF_INET : AF_INET6;
  fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0)
    os::ThrowErrno("cannot create a listening socket for " + where);
  try {
    const int on = 1;
    if (version == IpVersion::kV6 &&
        ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) {
      os::ThrowErrno("cannot restrict " + where + " to IPv6");
    }
    if (reuse_address && ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
      os::ThrowErrno("cannot set SO_REUSEADDR on " + where);
    }
    // Replies and listings are small writes that must leave at once. Linux copies this
    // into every socket the listener accepts, which spares a call per connection.
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::bind(fd_, address.get(), address.length) != 0)
      ThrowBindError("cannot bind " + where);
    local_ = os::LocalAddressOf(fd_);
    int pipe_fds[2];
    if (wakeable == Wakeable::kYes) {
      if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0)
        os::ThrowErrno("cannot create a pipe");
      wake_read_ = pipe_fds[0];
      wake_write_ = pipe_fds[1];
    }
  } catch (...) {
    os::CloseQuietly(fd_);
    os::CloseQuietly(wake_read_);
    throw;
  }
}

TcpListener::~TcpListener() {
  os::CloseQuietly(fd_);
  os::CloseQuietly(wake_read_);
  os::CloseQuietly(wake_write_);
}

void TcpListener::Listen(int backlog) {
  if (::listen(fd_, backlog) != 0) {
    ThrowBindError("cannot listen on " + Describe(local_.ip, local_.port, local_.version));
  }
}

std::optional<TcpSocket> TcpListener::Accept(std::chrono::milliseconds timeout) {
  if (stopped_.load())
    return std::nullopt;
  // Without time to wait, the accept itself says whether anything is queued.
  if (timeout.count() > 0) {
    // A negative descriptor is one poll() skips: a listener without a pipe waits on its
    // socket alone.
    pollfd waits[2] = {{fd_, POLLIN, 0}, {wake_read_, POLLIN, 0}};
    if (!os::Poll(waits, 2, timeout) || waits[1].revents != 0 || stopped_.load())
      return std::nullopt;
  }
  return TakeQueued();
}

void TcpListener::DiscardQueued() {
  try {
    while (TakeQueued()) {
    }
  } catch (const SocketError&) {
    // Out of descriptors: what stays queued is discarded next time.
  }
}

std::optional<TcpSocket> TcpListener::TakeQueued() {
  sockaddr_storage peer{};
  socklen_t peer_length = sizeof peer;
  const int client = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &peer_length,
                               SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (client < 0) {
    if (IsTransientAcceptError(errno))
      return std::nullopt;
    os::ThrowErrno("cannot accept on " + Describe(local_.ip, local_.port, local_.version));
  }
#ifndef __linux__
  const int on = 1;
  ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
#endif
  // A listener bound to one address accepts on that address; only one bound to every
  // interface must ask which one the client reached.
  if (local_.ip == "0.0.0.0" || local_.ip == "::")
    return TcpSocket(client);
  return TcpSocket(client, local_, os::FromOsAddress(peer));
}

bool TcpListener::WaitForStop(std::chrono::milliseconds timeout) {
  if (stopped_.load())
    return true;
  pollfd wait{wake_read_, POLLIN, 0};
  os::Poll(&wait, 1, timeout);
  return stopped_.load();
}

void TcpListener::Stop() {
  if (stopped_.exchange(true))
    return;
  const char byte = 1;
  // The pipe is never drained, so every later wait sees it too. A full pipe cannot
  // happen: at most one byte is ever written.
  while (wake_write_ >= 0 && ::write(wake_write_, &byte, 1) < 0 && errno == EINTR) {
  }
}

void TcpListener::Resume() {
  char bytes[8];
  for (;;) {
    const ssize_t got = ::read(wake_read_, bytes, sizeof bytes);
    if (got <= 0 && !(got < 0 && errno == EINTR))
      break;  // empty (EAGAIN)
  }
  stopped_.store(false);
}

}  // namespace vantrel::platform
