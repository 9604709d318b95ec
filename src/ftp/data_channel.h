#pragma once

// The data connection a session prepared (PORT/EPRT: the server will connect; PASV, EPSV,
// SPSV: the server listens) until a transfer command opens it.
//
// Opening waits on the data side and the control connection together, so an ABOR, a
// client that leaves, or a server that stops (it shuts the control connection) ends the
// wait at once; a client that never connects ends it after a bounded time.
//
// A passive listener takes one connection and then closes, or goes to the server's pool
// of passive listeners when it came from there (see passive_pool.h); either way the
// channel takes no second connection. One that no transfer command takes within the
// accept time-out is given up, so clients that send PASV and go idle cannot hold the
// passive ports.
//
// The channel holds the descriptors it may open (see connection_budget.h): a passive one
// those of its listener and of the connection to come, from the moment it listens; an
// active one that of its connection, handed over before it connects.

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "net/connection_budget.h"
#include "net/proxy_trust.h"
#include "platform/socket_address.h"
#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"

namespace vantrel {

class PassivePool;
class TransferControl;

struct DataChannelTimeouts {
  // A passive client's connection, from the transfer command; and a transfer command
  // taking the passive listener, from the reply that announced it.
  std::chrono::milliseconds accept{60000};
  std::chrono::milliseconds connect{30000};  // an active connection to the client
};

// What a client hears when a data connection, either way, would involve an address other
// than its control connection's.
inline constexpr const char* kSameAddressOnly =
    "Data port can only be used by the same IP address used by the control connection.";

// Owned by its session (at most one at a time) and used by the session's thread only.
class DataChannel {
 public:
  enum class Failure {
    kNone,
    kNoConnection,  // none came in time, or the connection failed: 425
    kWrongPeer,     // a passive connection from another address: 504
    kStopped,       // the control connection asked to stop (ABOR) or ended
  };

  // Active: connects to `remote` from `local` when given; when binding that source port
  // fails at once, from a port the system chooses.
  static std::unique_ptr<DataChannel> Active(platform::SocketAddress remote,
                                             std::optional<platform::SocketAddress> local);
  // Passive, on a listener already listening, with `places` for it and its connection
  // (two). With `require_same_ip` a connection from any address but `client_ip` is
  // refused. Once it has accepted, the listener goes to `pool` (with its place) when one
  // is given (it outlives the channel), else it closes. A transfer must take the channel
  // before `unused_until`.
  static std::unique_ptr<DataChannel> Passive(std::unique_ptr<platform::TcpListener> listener,
                                              DescriptorGrant places, bool require_same_ip,
                                              std::string client_ip, PassivePool* pool,
                                              std::chrono::steady_clock::time_point unused_until);
  static constexpr int kPassiveDescriptors = 2;

  // An active channel's place for its connection, before Open.
  void Hold(DescriptorGrant place) { places_ = std::move(place); }

  // Adds one to `count` until the passive listener accepts or the channel goes, so that
  // the host can tell how many passive ports wait for their clients.
  void CountListening(std::atomic<int>& count);
  // A passive connection from a peer `trust` names (the balancer forwarding the port)
  // begins with a PROXY header, which is taken off and whose client is the one compared
  // with the control connection's.
  void ExpectProxyHeaders(ProxyTrust trust) { proxy_ = std::move(trust); }

  bool passive() const { return listener_ != nullptr; }
  // When a passive channel that no transfer took is given up; nothing for an active one.
  std::optional<std::chrono::steady_clock::time_point> UnusedUntil() const;
  bool Expired() const;
  // The listener's address (passive only).
  platform::SocketAddress BoundAddress() const;

  // The data connection, or nothing with failure() saying why.
  std::optional<platform::TcpSocket> Open(TransferControl& control,
                                          const DataChannelTimeouts& timeouts);
  Failure failure() const { return failure_; }

 private:
  DataChannel() = default;
  std::optional<platform::TcpSocket> Accept(TransferControl& control,
                                            std::chrono::milliseconds timeout);
  // Who a passive connection comes from; nothing (failure_ set) when a balancer's header
  // is broken or missing.
  std::optional<std::string> ClientOf(platform::TcpSocket& connection);
  std::optional<platform::TcpSocket> Connect(TransferControl& control,
                                             std::chrono::milliseconds timeout);
  // Waits on the data side `watch` adds to a SocketWait and on the control connection
  // together: true once the data side is ready; false at the deadline or a stop, with
  // failure_ set.
  template <typename Watch>
  bool WaitFor(TransferControl& control, std::chrono::steady_clock::time_point deadline,
               Watch watch);

  struct Uncount {
    void operator()(std::atomic<int>* count) const { count->fetch_sub(1); }
  };

  // Declared first, so given back after everything it stands for has closed.
  DescriptorGrant places_;
  std::unique_ptr<platform::TcpListener> listener_;
  std::unique_ptr<std::atomic<int>, Uncount> listening_;  // while listener_ waits
  PassivePool* pool_ = nullptr;
  bool require_same_ip_ = false;
  std::string client_ip_;
  ProxyTrust proxy_;
  std::chrono::steady_clock::time_point unused_until_;
  platform::SocketAddress remote_;
  std::optional<platform::SocketAddress> local_;
  Failure failure_ = Failure::kNone;
};

}  // namespace vantrel
