#include "platform/tcp_socket.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <string.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/socket_error.h"
#include "platform/socket_os.h"
#include "platform/socket_wait.h"
#include "platform/tcp_connector.h"

namespace vantrel::platform {
namespace {

void RequirePositive(std::chrono::milliseconds timeout) {
  if (timeout.count() <= 0)
    throw std::invalid_argument("socket time-outs must be positive");
}

void SetBufferOption(int fd, int option, int bytes) {
  if (::setsockopt(fd, SOL_SOCKET, option, &bytes, sizeof bytes) != 0) {
    os::ThrowErrno("cannot set a socket buffer size");
  }
}

// sendfile and write(2) cannot be asked, as send can, not to raise SIGPIPE when the peer
// has gone, and the signal would end the whole process. From the first zero-copy send (or
// the first descriptor handed to the TLS library) on the process ignores it, and the call
// reports EPIPE instead.
void IgnoreBrokenPipes() {
  static const bool ignored = [] { return ::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
  (void)ignored;
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
  TcpConnector connector(remote, local);
  SocketWait wait;
  wait.WatchConnect(connector);
  if (!wait.Wait(timeout)) {
    throw SocketTimeout("no connection to " + os::Describe(remote) + " within the time-out");
  }
  return connector.Finish();
}

std::size_t TcpSocket::Read(char* buffer, std::size_t size) {
  return Read(buffer, size, read_timeout_);
}

std::size_t TcpSocket::Read(char* buffer, std::size_t size, std::chrono::milliseconds timeout) {
  for (;;) {
    if (const auto got = TryReceive(buffer, size))
      return *got;
    pollfd wait{fd_, POLLIN, 0};
    if (!os::Poll(&wait, 1, timeout)) {
      throw SocketTimeout("read time-out on the connection from " + os::Describe(peer_));
    }
  }
}

bool TcpSocket::SendsImmediately() const {
  int value = 0;
  socklen_t length = sizeof value;
  return fd_ >= 0 && ::getsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &value, &length) == 0 &&
         value != 0;
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
      os::ThrowErrno("cannot write to " + os::Describe(peer_));
    }
    pollfd wait{fd_, POLLOUT, 0};
    if (!os::Poll(&wait, 1, write_timeout_)) {
      throw SocketTimeout("write time-out on the connection to " + os::Describe(peer_));
    }
  }
}

std::size_t TcpSocket::TrySend(std::string_view data) {
  if (fd_ < 0)
    throw SocketError("write to a closed socket");
  for (;;) {
    const ssize_t sent = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent >= 0)
      return static_cast<std::size_t>(sent);
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
      return 0;
    os::ThrowErrno("cannot write to " + os::Describe(peer_));
  }
}

std::optional<std::size_t> TcpSocket::TryReceive(char* buffer, std::size_t size) {
  return Receive(buffer, size, 0);
}

std::optional<std::size_t> TcpSocket::TryPeek(char* buffer, std::size_t size) {
  return Receive(buffer, size, MSG_PEEK);
}

std::optional<std::size_t> TcpSocket::Receive(char* buffer, std::size_t size, int flags) {
  if (fd_ < 0)
    throw SocketError("read from a closed socket");
  for (;;) {
    const ssize_t got = ::recv(fd_, buffer, size, flags);
    if (got >= 0)
      return static_cast<std::size_t>(got);
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
      return std::nullopt;
    os::ThrowErrno("cannot read from " + os::Describe(peer_));
  }
}

std::optional<std::size_t> TcpSocket::TrySendFile(File& file, std::size_t count) {
  if (fd_ < 0)
    throw SocketError("write to a closed socket");
  IgnoreBrokenPipes();
  for (;;) {
    auto offset = static_cast<off_t>(file.Position());
    const ssize_t sent = ::sendfile(fd_, file.descriptor(), &offset, count);
    if (sent >= 0) {
      file.Seek(offset);
      return static_cast<std::size_t>(sent);
    }
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
      return std::nullopt;
    if (errno == EIO) {
      // The disk failed, not the peer: the caller answers a local error.
      throw FileError(std::string("cannot read the file being sent: ") + ::strerror(errno));
    }
    os::ThrowErrno("cannot send a file to " + os::Describe(peer_));
  }
}

void TcpSocket::SetOutOfBandInline() {
  const int on = 1;
  if (fd_ >= 0 && ::setsockopt(fd_, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on) != 0) {
    os::ThrowErrno("cannot keep urgent data in line");
  }
}

int TcpSocket::DescriptorForTls() {
  IgnoreBrokenPipes();
  return fd_;
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
