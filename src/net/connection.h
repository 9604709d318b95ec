#pragma once

// One accepted connection as the network layer sees it: the socket, whether it is still
// connected, writes, and the bytes read but not yet consumed. What a protocol keeps per
// connection (the FTP session's line reader, its transfer settings) lives in a subclass
// that the protocol's server creates.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/socket_error.h"
#include "platform/tcp_socket.h"

namespace vantrel {

using Deadline = std::chrono::steady_clock::time_point;

// A read gave up at the connection's input deadline, however steadily bytes were coming.
class InputDeadlinePassed : public platform::SocketTimeout {
 public:
  using platform::SocketTimeout::SocketTimeout;
};

// The server creates it in a listener thread, hands it to the connection's own thread, and
// destroys it when the session ends; only that thread uses it, except that the server may
// shut the socket down from another thread while stopping (under its list lock).
class Connection {
 public:
  explicit Connection(platform::TcpSocket socket);
  virtual ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  platform::TcpSocket& Socket() { return socket_; }
  const platform::TcpSocket& Socket() const { return socket_; }

  // False once this side disconnected or the peer's close was seen.
  bool Connected() const { return connected_; }
  // Ends the connection; what was written before still reaches the peer.
  void Disconnect();

  // One write for the whole of `bytes`; throws platform::SocketError when the peer is gone.
  void Write(std::string_view bytes);

  // Bytes received but not yet consumed by the protocol's reader.
  std::string& Input() { return input_; }
  // Waits up to the socket's read time-out and appends what came to Input(). False when
  // the peer closed; throws platform::SocketTimeout when nothing came in time, and
  // InputDeadlinePassed once the input deadline has passed.
  bool ReadMore();
  // The moment by which the input being read must be complete (a command line, a
  // request): the read time-out counts per read, so a client trickling one byte at a
  // time would never run into it. Nothing: no deadline.
  void SetInputDeadline(std::optional<Deadline> deadline) { input_deadline_ = deadline; }
  // Appends what has already arrived, without waiting. False when the peer closed.
  bool ReadAvailable();

 protected:
  // Runs first in every ReadMore, in the connection's thread, with the moment the wait
  // for input would end at the latest. A protocol that holds something running out
  // before then (an idle passive listener) waits here in pieces and tidies up between
  // them; the default waits for nothing.
  virtual void AwaitInput(Deadline /*end*/) {}

 private:
  friend class TcpServer;
  // Any thread, under the server's list lock.
  void ShutdownFromServer() { socket_.Shutdown(); }

  platform::TcpSocket socket_;
  bool connected_ = true;
  std::string input_;
  std::optional<Deadline> input_deadline_;
};

}  // namespace vantrel
