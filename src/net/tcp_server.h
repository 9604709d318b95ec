#pragma once

// The multi-connection TCP server under the FTP and the web engines: one listener
// thread per binding, one thread per connection, a live list of sessions, the connection
// limits, and a stop that closes every connection and joins every thread it started.
//
// A new connection is admitted only within three limits: the server's own count, a count
// per peer address (so one host cannot take every place), and the process-wide budget it
// shares with the other engine (so nobody can take the descriptors that the sessions
// already admitted need for their files and data connections). Over any of them the
// client gets the over-limit reply and is closed at once, by the listener, without a
// thread of its own.
//
// A connection from a trusted load balancer (see proxy_trust.h) names its client in a
// PROXY header, which its own thread reads before the session's first step; only then is
// the client's address known, so the limit per address is applied there, with the same
// reply. The server's own count and the budget still apply at accept: they guard the
// process, whoever the client is.
//
// Sessions block in the kernel (poll with the read time-out) while idle, so a thousand
// idle sessions cost sleeping threads and no processor time. Finished session threads are
// joined by the listener on its next accept and by the stop; nothing is detached, so the
// stop can promise that no thread of this server outlives it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "net/connection.h"
#include "net/connection_budget.h"
#include "net/proxy_trust.h"
#include "platform/sized_thread.h"
#include "platform/socket_address.h"

namespace vantrel {

namespace platform {
class TcpListener;
}

struct Binding {
  std::string ip;  // empty: every interface
  int port = 0;    // 0: DefaultPort()
  platform::IpVersion version = platform::IpVersion::kV4;
};

// kFalse leaves SO_REUSEADDR off the listening sockets; the others set it (the system's
// own choice on Linux, see Activate).
enum class ReuseSocket { kOsDependent, kTrue, kFalse };

// Why a connection was turned away before its session began.
enum class Refusal {
  kMaxConnections,  // the server's own limit
  kPerAddress,      // the limit per peer address
  kNoRoom,          // the shared budget is spent
  kNoThread,        // the system refused a thread for the session
  kProxyHeader,     // a trusted balancer's connection began with a malformed PROXY header
};

// Owned by the host, through the protocol's server that derives from it. Configure it
// before SetActive(true); the setters refuse while active. SetActive may be called from
// any thread but the server's own listener and session threads (none of them can wait for
// itself to end). The protected steps run in the session or listener threads named
// below, concurrently for different sessions.
class TcpServer {
 public:
  // Deep enough for bursts of logins: on Linux a full queue silently drops the last packet
  // of a client's handshake, and that client, believing itself connected, waits for a
  // greeting that comes a minute later or never (other systems refuse it at once).
  static constexpr int kDefaultListenQueue = 511;

  TcpServer();
  virtual ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Binding fails with platform::SocketError (nothing stays open then).
  void SetActive(bool active);
  bool Active() const { return active_.load(); }

  // Hand-over to a successor, for a configuration that changes while sessions run (the
  // setters refuse while active): SetActive(true) for this server, configured afresh, in
  // the place of the running `predecessor`. The predecessor's listening sockets that this
  // configuration also wants are taken over still listening, so connections arriving
  // meanwhile wait in their queues; the others close once this server's new ones are
  // bound. A port that cannot be bound throws and leaves the predecessor as it was. The
  // predecessor stops accepting and keeps its sessions until they end or it is stopped.
  void TakeOver(TcpServer& predecessor);

  std::vector<Binding>& Bindings();
  int DefaultPort() const { return default_port_; }
  void SetDefaultPort(int port);
  int ListenQueue() const { return listen_queue_; }
  void SetListenQueue(int backlog);
  // 0: no limit. Otherwise at most this many sessions exist at once.
  int MaxConnections() const { return max_connections_; }
  void SetMaxConnections(int count);
  // 0: no limit. Otherwise at most this many sessions from one peer address at once.
  int MaxConnectionsPerAddress() const { return max_per_address_; }
  void SetMaxConnectionsPerAddress(int count);
  // Shared with other servers; each session holds one place of it, and its commands take
  // what else they open (TakeDescriptors). Null: none. It must outlive the server's
  // activity.
  void SetConnectionBudget(ConnectionBudget* budget);
  void SetReuseSocket(ReuseSocket reuse);
  // Read time-out given to every new connection (BeforeRun may change it per session).
  void SetReadTimeout(std::chrono::milliseconds timeout);
  // 0: none. Otherwise every binding also listens on this port, and the connections
  // that come there say ImplicitTls(): the protocol starts TLS before its first byte.
  int ImplicitTlsPort() const { return implicit_tls_port_; }
  void SetImplicitTlsPort(int port);
  // Off by default. Connections from the peers `trust` names must begin with a PROXY
  // header within its deadline, and the client it names is the connection's PeerAddress.
  const ProxyTrust& Proxy() const { return proxy_; }
  void SetProxyTrust(ProxyTrust trust);

  // The addresses actually bound (ports chosen by the system filled in), from the moment
  // they are bound; empty while inactive.
  std::vector<platform::SocketAddress> BoundAddresses() const;
  // Sessions alive now.
  int ConnectionCount() const;

  // Sleeps up to `duration`; returns early (false) when the server is stopping.
  bool Pause(std::chrono::milliseconds duration);

 protected:
  // Called on every activation before binding; the command layer registers its commands.
  virtual void PrepareActivation() {}
  // Called once every session has ended, when the server stops.
  virtual void AfterDeactivation() {}
  // The protocol's own kind of connection; a bare one by default.
  virtual std::unique_ptr<Connection> CreateConnection(platform::TcpSocket socket);
  // The bytes written to a connection turned away over a limit; none by default.
  virtual std::string OverLimitReply() const { return {}; }
  // The session's steps, in its thread: BeforeRun when it begins (before any greeting;
  // throwing refuses the session, and neither Execute nor AfterRun runs), Execute until it
  // says the session is over, AfterRun when a session that got past BeforeRun ends.
  virtual void BeforeRun(Connection& /*connection*/) {}
  virtual bool Execute(Connection& connection) = 0;
  virtual void AfterRun(Connection& /*connection*/) {}
  // Session thread, for the failure that ended a session (after AfterRun).
  virtual void SessionFailed(Connection& /*connection*/, const std::exception& /*failure*/) {}
  // Listener thread, for a failure while accepting or starting a session.
  virtual void ListenFailed(const std::exception& /*failure*/) {}
  // For each connection turned away (after its reply, if a limit refused it): in the
  // listener thread, or in the session's when its PROXY header decided.
  virtual void Refused(const platform::SocketAddress& /*peer*/, Refusal /*reason*/) {}

  void RequireInactive() const;
  // `count` descriptors from the shared budget for what a session is about to open; a
  // grant nobody counts without a budget, nothing when the budget is spent.
  std::optional<DescriptorGrant> TakeDescriptors(int count);
  // A session's whole life in the calling thread: BeforeRun, Execute until it returns
  // false, AfterRun, and SessionFailed for whatever ended it.
  void RunSession(Connection& connection);

 private:
  struct Listener {
    std::unique_ptr<platform::TcpListener> socket;
    std::thread thread;
    bool implicit_tls = false;
    bool listening = false;  // taken over from a predecessor, which listened already
  };
  // A listening socket the configuration asks for.
  struct WantedListener {
    std::string ip;  // empty: every interface
    int port = 0;
    platform::IpVersion version = platform::IpVersion::kV4;
    bool implicit_tls = false;
    bool Matches(const platform::SocketAddress& bound) const;
  };
  struct Session {
    std::unique_ptr<Connection> connection;  // null once the session left the live list
    std::string address;                     // the peer's, as counted in per_address_
    bool proxied = false;                    // its PROXY header is still to be read
    DescriptorGrant place;                   // the connection's own descriptor
    platform::SizedThread thread;
    bool finished = false;  // its thread is about to end and may be joined
  };

  void Activate();
  std::vector<WantedListener> WantedListeners();
  std::unique_ptr<Listener> Bind(const WantedListener& wanted) const;
  void StartListening(std::vector<std::unique_ptr<Listener>> bound);
  // Stops accepting and gives up the listening sockets, still bound and listening.
  std::vector<std::unique_ptr<platform::TcpListener>> ReleaseListeners();
  void RequireOutsideListeners() const;
  void Deactivate();
  void SetBoundAddresses(const std::vector<std::unique_ptr<Listener>>& bound);
  void ListenLoop(Listener& listener);
  void StartSession(platform::TcpSocket socket, bool implicit_tls);
  // Takes a place for a session from `address` (empty: not known yet, so not counted per
  // address; the budget's place into `place`), or says which limit refuses it.
  std::optional<Refusal> Admit(const std::string& address, DescriptorGrant& place);
  bool AtAddressLimit(const std::string& address) const;  // under sessions_mutex_
  // Session thread: a proxied session's header, and its client's place per address.
  // False when the connection is turned away.
  bool Introduce(Session& session);
  // Gives back the server's own counts Admit took.
  void Uncount(const std::string& address);
  void UncountLocked(const std::string& address);  // under sessions_mutex_
  void Refuse(platform::TcpSocket& socket, const platform::SocketAddress& peer, Refusal reason);
  void ReportRefusal(const platform::SocketAddress& peer, Refusal reason);
  void SessionMain(Session& session);
  void ReportFailure(Connection& connection, const std::exception_ptr& failure);
  void ReportListenFailure(const std::exception& failure);
  void JoinFinishedSessions();

  std::vector<Binding> bindings_;
  int default_port_ = 0;
  int listen_queue_ = kDefaultListenQueue;
  int max_connections_ = 0;
  int max_per_address_ = 0;
  ConnectionBudget* budget_ = nullptr;
  ReuseSocket reuse_socket_ = ReuseSocket::kOsDependent;
  std::chrono::milliseconds read_timeout_;
  int implicit_tls_port_ = 0;
  ProxyTrust proxy_;

  std::mutex activation_mutex_;  // serialises SetActive
  std::atomic<bool> active_{false};
  std::vector<std::unique_ptr<Listener>> listeners_;  // guarded by activation_mutex_

  mutable std::mutex bound_mutex_;
  std::vector<platform::SocketAddress> bound_addresses_;  // guarded by bound_mutex_

  mutable std::mutex sessions_mutex_;
  std::list<Session> sessions_;                       // guarded by sessions_mutex_
  int live_count_ = 0;                                // guarded by sessions_mutex_
  int finished_count_ = 0;                            // guarded by sessions_mutex_
  std::unordered_map<std::string, int> per_address_;  // guarded by sessions_mutex_

  std::mutex stop_mutex_;
  std::condition_variable stop_signal_;
  bool stopping_ = false;  // guarded by stop_mutex_
};

}  // namespace vantrel
