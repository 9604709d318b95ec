#include "platform/socket_wait.h"

#include <poll.h>

#include <stdexcept>

#include "platform/socket_os.h"
#include "platform/tcp_connector.h"
#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"

namespace vantrel::platform {

SocketWait::SocketWait() = default;

std::size_t SocketWait::Add(int fd, short events) {
  if (count_ == kCapacity)
    throw std::logic_error("too many sockets for one wait");
  entries_[count_] = {fd, events, 0};
  return count_++;
}

std::size_t SocketWait::WatchReadable(const TcpSocket& socket) {
  return Add(socket.fd_, POLLIN);
}

std::size_t SocketWait::WatchWritable(const TcpSocket& socket) {
  return Add(socket.fd_, POLLOUT);
}

std::size_t SocketWait::WatchHangUp(const TcpSocket& socket) {
  // POLLHUP and POLLERR are reported whatever is asked for.
  return Add(socket.fd_, 0);
}

std::size_t SocketWait::WatchAccept(const TcpListener& listener) {
  return Add(listener.fd_, POLLIN);
}

std::size_t SocketWait::WatchConnect(const TcpConnector& connector) {
  return Add(connector.fd_, POLLOUT);
}

bool SocketWait::Wait(std::chrono::milliseconds timeout) {
  std::array<pollfd, kCapacity> fds{};
  for (std::size_t i = 0; i < count_; ++i)
    fds[i] = {entries_[i].fd, entries_[i].events, 0};
  const bool ready = os::Poll(fds.data(), static_cast<nfds_t>(count_), timeout);
  for (std::size_t i = 0; i < count_; ++i)
    entries_[i].revents = ready ? fds[i].revents : 0;
  return ready;
}

bool SocketWait::Ready(std::size_t index) const {
  return index < count_ && entries_[index].revents != 0;
}

}  // namespace vantrel::platform
