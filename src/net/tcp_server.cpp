#include "net/tcp_server.h"

#include <stdexcept>
#include <system_error>

#include "common/error.h"
#include "net/proxy_reader.h"
#include "platform/resolver.h"
#include "platform/socket_error.h"
#include "platform/tcp_listener.h"

namespace vantrel {
namespace {

// The listener wakes this often even with nobody connecting; Stop() wakes it at once, so
// the period only bounds how long a wait may last, not how fast a stop is.
constexpr std::chrono::milliseconds kAcceptWait{60000};
// After the system refused an accept (out of descriptors), give it time to recover
// instead of failing again at once on the same queued connection.
constexpr std::chrono::milliseconds kAcceptFailurePause{250};
constexpr std::chrono::milliseconds kRefusalWriteTimeout{2000};
// No session waits for its client without end: five minutes of silence (the figure the
// host sets anyway) end it unless the host chooses otherwise.
constexpr std::chrono::milliseconds kDefaultReadTimeout{300000};
// A connection thread's stack. The deepest paths measured (a TLS handshake, listings,
// checksums, the web site's pages, a file copy with its 64 KiB block) touch under 80 KiB
// in the AddressSanitizer build and less without it; four times the most seen in any
// build leaves room for paths nobody measured. The sanitizer builds get more, as their
// frames carry red zones and their runtimes' own calls run on the same stack. Pages never
// touched cost no memory, so the figure bounds address space, not what a session holds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kSessionStack = 1024 * 1024;
#else
constexpr std::size_t kSessionStack = 320 * 1024;
#endif

}  // namespace

TcpServer::TcpServer() : read_timeout_(kDefaultReadTimeout) {}

TcpServer::~TcpServer() {
  SetActive(false);
}

void TcpServer::RequireInactive() const {
  if (active_.load())
    throw std::logic_error("the server must be stopped to change this");
}

std::vector<Binding>& TcpServer::Bindings() {
  RequireInactive();
  return bindings_;
}

void TcpServer::SetDefaultPort(int port) {
  RequireInactive();
  if (port < 0 || port > 65535)
    throw Error("Invalid port number " + std::to_string(port));
  default_port_ = port;
}

void TcpServer::SetListenQueue(int backlog) {
  RequireInactive();
  listen_queue_ = backlog;
}

void TcpServer::SetMaxConnections(int count) {
  RequireInactive();
  max_connections_ = count;
}

void TcpServer::SetMaxConnectionsPerAddress(int count) {
  RequireInactive();
  max_per_address_ = count;
}

void TcpServer::SetConnectionBudget(ConnectionBudget* budget) {
  RequireInactive();
  budget_ = budget;
}

void TcpServer::SetReuseSocket(ReuseSocket reuse) {
  RequireInactive();
  reuse_socket_ = reuse;
}

void TcpServer::SetReadTimeout(std::chrono::milliseconds timeout) {
  RequireInactive();
  if (timeout.count() <= 0)
    throw Error("The read time-out must be positive");
  read_timeout_ = timeout;
}

void TcpServer::SetImplicitTlsPort(int port) {
  RequireInactive();
  if (port < 0 || port > 65535)
    throw Error("Invalid port number " + std::to_string(port));
  implicit_tls_port_ = port;
}

void TcpServer::SetProxyTrust(ProxyTrust trust) {
  RequireInactive();
  proxy_ = std::move(trust);
}

std::vector<platform::SocketAddress> TcpServer::BoundAddresses() const {
  std::lock_guard lock(bound_mutex_);
  return bound_addresses_;
}

int TcpServer::ConnectionCount() const {
  std::lock_guard lock(sessions_mutex_);
  return live_count_;
}

void TcpServer::Deactivate() {
  RequireOutsideListeners();
  {
    std::lock_guard lock(sessions_mutex_);
    for (const auto& session : sessions_) {
      if (session.thread.IsCurrent()) {
        throw std::logic_error("a session cannot stop the server it runs in");
      }
    }
  }
  active_.store(false);
  for (auto& listener : listeners_)
    listener->socket->Stop();
  for (auto& listener : listeners_) {
    if (listener->thread.joinable())
      listener->thread.join();
  }
  listeners_.clear();
  SetBoundAddresses({});
  {
    std::lock_guard lock(stop_mutex_);
    stopping_ = true;
  }
  stop_signal_.notify_all();
  std::list<Session> all;
  {
    std::lock_guard lock(sessions_mutex_);
    for (auto& session : sessions_) {
      if (session.connection)
        session.connection->ShutdownFromServer();
    }
    // Spliced nodes keep their addresses, so threads still finishing can mark them.
    all.splice(all.end(), sessions_);
  }
  for (auto& session : all)
    session.thread.Join();
  {
    std::lock_guard lock(sessions_mutex_);
    finished_count_ = 0;  // those sessions were joined here, not by a listener
  }
  AfterDeactivation();
}

void TcpServer::ListenLoop(Listener& listener) {
  while (!listener.socket->Stopped()) {
    std::optional<platform::TcpSocket> connection;
    try {
      connection = listener.socket->Accept(kAcceptWait);
    } catch (const std::exception& failure) {
      ReportListenFailure(failure);
      listener.socket->WaitForStop(kAcceptFailurePause);
      continue;
    }
    JoinFinishedSessions();
    if (!connection)
      continue;
    try {
      StartSession(std::move(*connection), listener.implicit_tls);
    } catch (const std::exception& failure) {
      ReportListenFailure(failure);
    }
  }
}

void TcpServer::StartSession(platform::TcpSocket socket, bool implicit_tls) {
  const bool proxied = proxy_.Trusts(socket.PeerAddress().ip);
  std::string address = proxied ? std::string() : socket.PeerAddress().ip;
  DescriptorGrant place;
  if (const auto refusal = Admit(address, place)) {
    Refuse(socket, socket.PeerAddress(), *refusal);
    return;
  }
  socket.SetReadTimeout(read_timeout_);
  std::unique_ptr<Connection> connection;
  try {
    connection = CreateConnection(std::move(socket));
    connection->implicit_tls_ = implicit_tls;
  } catch (...) {
    Uncount(address);
    throw;
  }
  std::unique_lock lock(sessions_mutex_);
  sessions_.emplace_back();
  Session& session = sessions_.back();
  session.connection = std::move(connection);
  session.address = std::move(address);
  session.proxied = proxied;
  session.place = std::move(place);
  try {
    session.thread =
        platform::SizedThread(kSessionStack, [this, &session] { SessionMain(session); });
  } catch (const std::system_error&) {
    // Out of threads (a service manager's task limit, say): the client hears that the
    // server is busy instead of being dropped without a word.
    platform::TcpSocket refused = std::move(session.connection->Socket());
    const std::string counted = std::move(session.address);
    place = std::move(session.place);
    sessions_.pop_back();
    lock.unlock();
    Uncount(counted);
    Refuse(refused, refused.PeerAddress(), Refusal::kNoThread);
  }
}

std::optional<Refusal> TcpServer::Admit(const std::string& address, DescriptorGrant& place) {
  {
    std::lock_guard lock(sessions_mutex_);
    if (max_connections_ > 0 && live_count_ >= max_connections_)
      return Refusal::kMaxConnections;
    if (AtAddressLimit(address))
      return Refusal::kPerAddress;
    // The places are taken at once, so two quick accepts cannot both pass the checks.
    ++live_count_;
    if (!address.empty())
      ++per_address_[address];
  }
  // Taken after the server's own lock is let go: no lock of this server is ever held
  // while the shared budget's is taken.
  if (budget_) {
    std::optional<DescriptorGrant> taken = budget_->TryTakeConnection();
    if (!taken) {
      Uncount(address);
      return Refusal::kNoRoom;
    }
    place = std::move(*taken);
  }
  return std::nullopt;
}

bool TcpServer::AtAddressLimit(const std::string& address) const {
  if (max_per_address_ <= 0 || address.empty())
    return false;
  const auto found = per_address_.find(address);
  return found != per_address_.end() && found->second >= max_per_address_;
}

bool TcpServer::Introduce(Session& session) {
  if (!session.proxied)
    return true;
  Connection& connection = *session.connection;
  ProxyHeader header;
  const ProxyRead read = ReadProxyHeader(connection.Socket(), proxy_.Deadline(), header);
  if (read == ProxyRead::kMalformed)
    ReportRefusal(connection.Socket().PeerAddress(), Refusal::kProxyHeader);
  if (read != ProxyRead::kDone)
    return false;
  // A health check's own connection ("LOCAL") speaks for nobody but the balancer.
  if (!header.local)
    connection.client_ = header.source;
  const std::string& address = connection.PeerAddress().ip;
  {
    std::lock_guard lock(sessions_mutex_);
    if (!AtAddressLimit(address)) {
      ++per_address_[address];
      session.address = address;
      return true;
    }
  }
  Refuse(connection.Socket(), connection.PeerAddress(), Refusal::kPerAddress);
  return false;
}

void TcpServer::Uncount(const std::string& address) {
  std::lock_guard lock(sessions_mutex_);
  UncountLocked(address);
}

void TcpServer::UncountLocked(const std::string& address) {
  --live_count_;
  const auto found = per_address_.find(address);
  if (found != per_address_.end() && --found->second <= 0)
    per_address_.erase(found);
}

std::optional<DescriptorGrant> TcpServer::TakeDescriptors(int count) {
  if (!budget_)
    return DescriptorGrant();
  return budget_->TryTake(count);
}

void TcpServer::Refuse(platform::TcpSocket& socket, const platform::SocketAddress& peer,
                       Refusal reason) {
  try {
    socket.SetWriteTimeout(kRefusalWriteTimeout);
    socket.Write(OverLimitReply());
    socket.Shutdown();
  } catch (const platform::SocketError&) {
    // The client left before reading its refusal; nothing is owed to it.
  }
  ReportRefusal(peer, reason);
}

void TcpServer::ReportRefusal(const platform::SocketAddress& peer, Refusal reason) {
  try {
    Refused(peer, reason);
  } catch (...) {
    // The listener must keep accepting whatever its handler does.
  }
}

std::unique_ptr<Connection> TcpServer::CreateConnection(platform::TcpSocket socket) {
  return std::make_unique<Connection>(std::move(socket));
}

void TcpServer::SessionMain(Session& session) {
  if (Introduce(session))
    RunSession(*session.connection);
  std::unique_ptr<Connection> finished;
  DescriptorGrant place;
  {
    // One lock for all of it: the listener holds this lock while it starts a thread, and
    // a burst of short sessions should not queue behind it twice each.
    std::lock_guard lock(sessions_mutex_);
    finished = std::move(session.connection);
    place = std::move(session.place);
    UncountLocked(session.address);
    session.finished = true;
    ++finished_count_;
  }
  // Closed outside the lock, as closing a socket may take a moment, and before the
  // shared place is given back, so that place never stands for a descriptor still open.
  finished.reset();
  place = DescriptorGrant();
}

void TcpServer::RunSession(Connection& connection) {
  try {
    BeforeRun(connection);
  } catch (...) {
    connection.Disconnect();
    ReportFailure(connection, std::current_exception());
    return;
  }
  std::exception_ptr failure;
  try {
    while (Execute(connection)) {
    }
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    AfterRun(connection);
  } catch (...) {
    if (!failure)
      failure = std::current_exception();
  }
  if (failure)
    ReportFailure(connection, failure);
}

void TcpServer::ReportFailure(Connection& connection, const std::exception_ptr& failure) {
  try {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& known) {
      SessionFailed(connection, known);
    } catch (...) {
      SessionFailed(connection, Error("Unknown failure in a session"));
    }
  } catch (...) {
    // A failing exception handler has nobody left to tell; the session ends regardless.
  }
}

void TcpServer::ReportListenFailure(const std::exception& failure) {
  try {
    ListenFailed(failure);
  } catch (...) {
    // The listener must keep accepting whatever its handler does.
  }
}

bool TcpServer::Pause(std::chrono::milliseconds duration) {
  std::unique_lock lock(stop_mutex_);
  return !stop_signal_.wait_for(lock, duration, [this] { return stopping_; });
}

void TcpServer::JoinFinishedSessions() {
  std::list<Session> finished;
  {
    std::lock_guard lock(sessions_mutex_);
    // Scanning thousands of live sessions on every accept would slow a flood's refusals.
    if (finished_count_ == 0)
      return;
    finished_count_ = 0;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      auto next = std::next(it);
      if (it->finished)
        finished.splice(finished.end(), sessions_, it);
      it = next;
    }
  }
  for (auto& session : finished)
    session.thread.Join();
}

}  // namespace vantrel
