#pragma once

// One accepted connection as the network layer sees it: the socket, whether it is still
// connected, writes, and the bytes read but not yet consumed. What a protocol keeps per
// connection (the FTP session's line reader, its transfer settings) lives in a subclass
// that the protocol's server creates.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/tls_session.h"
#include "platform/socket_error.h"
#include "platform/tcp_socket.h"

namespace vantrel {

class TlsContext;
class TlsSocket;
namespace platform {
class SocketWait;
}

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

  // The client's address: the one a trusted load balancer's PROXY header named, else the
  // socket's peer. Everything that asks who the client is (keys, logs, bans, limits) reads
  // this, never the socket's, which would name the balancer.
  const platform::SocketAddress& PeerAddress() const {
    return client_ ? *client_ : socket_.PeerAddress();
  }
  // True once a balancer's header named the client.
  bool Proxied() const { return client_.has_value(); }

  // False once this side disconnected or the peer's close was seen.
  bool Connected() const { return connected_; }
  // Ends the connection; what was written before still reaches the peer.
  void Disconnect();

  // One write for the whole of `bytes`; throws platform::SocketError when the peer is gone.
  void Write(std::string_view bytes);

  // From here on every byte either way is encrypted, after a handshake within `timeout`:
  // TlsError when it fails, platform::SocketTimeout when the client stalls. Bytes read
  // before it and not yet consumed are dropped: they came in clear, and a client (or a
  // stranger on the path) could otherwise slip commands in ahead of the protection.
  void StartTls(const TlsContext& context, std::chrono::milliseconds timeout);
  bool Encrypted() const { return tls_ != nullptr; }
  // Accepted on the server's implicit TLS port: StartTls comes before anything else.
  bool ImplicitTls() const { return implicit_tls_; }
  // The TLS session agreed by StartTls, which data connections must resume; empty before.
  const TlsSession& ControlSession() const { return tls_session_; }
  // "TLSv1.3 TLS_AES_128_GCM_SHA256" once encrypted, for the log; empty before.
  std::string TlsDescription() const;
  // Adds the connection to `wait` for input, the way the encryption needs the socket.
  std::size_t WatchInput(platform::SocketWait& wait) const;

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

  // Appends every byte that can be had without waiting (OpenSSL may hold a whole record
  // while the socket shows none). Nothing: none came.
  std::optional<std::size_t> Receive(char* block, std::size_t size);

  platform::TcpSocket socket_;
  std::unique_ptr<TlsSocket> tls_;  // declared after socket_: it refers to it
  TlsSession tls_session_;
  bool implicit_tls_ = false;  // set by the server before the session's thread starts
  // Set by the server in the session's thread, before the session's first step.
  std::optional<platform::SocketAddress> client_;
  bool connected_ = true;
  std::string input_;
  std::optional<Deadline> input_deadline_;
};

}  // namespace vantrel
