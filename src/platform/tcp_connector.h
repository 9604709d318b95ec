#pragma once

// An outgoing TCP connection while it is being made. Connecting is split from waiting so
// that the caller can wait on the attempt together with other sockets (an FTP session
// watches its control connection while it connects a data connection) instead of
// sitting in a connect that only the network can end.

#include <optional>

#include "platform/socket_address.h"
#include "platform/tcp_socket.h"

namespace vantrel::platform {

// Owned and used by one thread.
class TcpConnector {
 public:
  // Starts connecting to `remote`, from `local` when given (its port may be 0; a fixed
  // port is bound with SO_REUSEADDR so that connections to different peers can share
  // it). Throws SocketError when the system refuses at once (bind, unreachable network).
  TcpConnector(const SocketAddress& remote, const std::optional<SocketAddress>& local);
  ~TcpConnector();
  TcpConnector(const TcpConnector&) = delete;
  TcpConnector& operator=(const TcpConnector&) = delete;

  // Once a wait reported the attempt ready (or at once, when it connected at once): the
  // connected socket. Throws SocketError with the reason the attempt failed.
  TcpSocket Finish();

 private:
  friend class SocketWait;

  int fd_ = -1;
  SocketAddress remote_;
};

}  // namespace vantrel::platform
