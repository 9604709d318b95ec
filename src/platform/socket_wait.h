#pragma once

// One wait on several sockets at once: a session moving data watches the data connection
// and its control connection together, so a command (ABOR) or a stop that shuts the
// control connection ends a wait that the data side alone might never end.

#include <array>
#include <chrono>
#include <cstddef>

namespace vantrel::platform {

class TcpConnector;
class TcpListener;
class TcpSocket;

// A value built for one wait by the thread that owns the sockets; it does not own them.
class SocketWait {
 public:
  static constexpr std::size_t kCapacity = 4;

  SocketWait();

  // Each returns the index that Ready() takes. Throws std::logic_error beyond kCapacity.
  std::size_t WatchReadable(const TcpSocket& socket);  // data or the peer's close
  std::size_t WatchWritable(const TcpSocket& socket);  // room in the send buffer
  // Only the end of the connection: a reset, or Shutdown() from another thread. For a
  // socket whose pending input the owner does not want to read yet.
  std::size_t WatchHangUp(const TcpSocket& socket);
  std::size_t WatchAccept(const TcpListener& listener);     // a connection is queued
  std::size_t WatchConnect(const TcpConnector& connector);  // the attempt ended

  // Waits until one watched socket is ready or `timeout` passed (0: only look). Errors
  // on a socket count as ready, so that the next call on it reports them. False on
  // time-out.
  bool Wait(std::chrono::milliseconds timeout);
  bool Ready(std::size_t index) const;

 private:
  struct Entry {
    int fd;
    short events;
    short revents;
  };
  std::size_t Add(int fd, short events);

  std::array<Entry, kCapacity> entries_;
  std::size_t count_ = 0;
};

}  // namespace vantrel::platform
