// Starting and stopping to listen, and handing the listening sockets from one server to
// its successor. A successor binds whatever its configuration adds before its predecessor
// lets anything go, and takes the sockets both want over still listening: a reload that
// keeps a port never refuses a connection on it, and one that moves a port fails without
// touching the running server when the new port cannot be had.

#include <algorithm>
#include <stdexcept>

#include "net/tcp_server.h"
#include "platform/resolver.h"
#include "platform/tcp_listener.h"

namespace vantrel {
namespace {

bool IsAnyAddress(const std::string& ip) {
  return ip == "0.0.0.0" || ip == "::";
}

}  // namespace

void TcpServer::SetActive(bool active) {
  std::lock_guard lock(activation_mutex_);
  if (active == active_.load())
    return;
  if (active) {
    Activate();
  } else {
    Deactivate();
  }
}

std::vector<TcpServer::WantedListener> TcpServer::WantedListeners() {
  if (bindings_.empty()) {
    bindings_.push_back({"", 0, platform::IpVersion::kV4});
    if (platform::IsIpv6Available())
      bindings_.push_back({"", 0, platform::IpVersion::kV6});
  }
  std::vector<WantedListener> wanted;
  for (const bool implicit_tls : {false, true}) {
    if (implicit_tls && implicit_tls_port_ == 0)
      break;
    for (const auto& binding : bindings_) {
      const int port =
          implicit_tls ? implicit_tls_port_ : (binding.port != 0 ? binding.port : default_port_);
      wanted.push_back({binding.ip, port, binding.version, implicit_tls});
    }
  }
  return wanted;
}

bool TcpServer::WantedListener::Matches(const platform::SocketAddress& bound) const {
  // Port 0 asks the system for a fresh port, which no socket already has.
  return port != 0 && bound.port == port && bound.version == version &&
         (ip.empty() ? IsAnyAddress(bound.ip) : bound.ip == ip);
}

std::unique_ptr<TcpServer::Listener> TcpServer::Bind(const WantedListener& wanted) const {
  // The system's own choice on Linux is to reuse: connections the server closed first
  // linger in TIME_WAIT on its port for a minute, and without SO_REUSEADDR a restart in
  // that minute cannot bind. Unlike elsewhere, the option never lets a second socket
  // listen on a port that one already listens on.
  const bool reuse = reuse_socket_ != ReuseSocket::kFalse;
  auto listener = std::make_unique<Listener>();
  listener->socket =
      std::make_unique<platform::TcpListener>(wanted.ip, wanted.port, wanted.version, reuse);
  listener->implicit_tls = wanted.implicit_tls;
  return listener;
}

void TcpServer::Activate() {
  PrepareActivation();
  std::vector<std::unique_ptr<Listener>> bound;
  for (const WantedListener& wanted : WantedListeners())
    bound.push_back(Bind(wanted));
  StartListening(std::move(bound));
}

void TcpServer::TakeOver(TcpServer& predecessor) {
  std::lock_guard lock(activation_mutex_);
  if (active_.load())
    throw std::logic_error("the server is active already");
  PrepareActivation();
  const std::vector<WantedListener> wanted = WantedListeners();
  const std::vector<platform::SocketAddress> held = predecessor.BoundAddresses();
  std::vector<std::unique_ptr<Listener>> bound(wanted.size());
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const auto& want = wanted[i];
    if (std::ranges::none_of(held, [&](const auto& address) { return want.Matches(address); }))
      bound[i] = Bind(want);  // may throw: the predecessor has not been touched yet
  }
  // What the successor does not take closes here, after its own ports are bound.
  std::vector<std::unique_ptr<platform::TcpListener>> released = predecessor.ReleaseListeners();
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (bound[i])
      continue;
    const auto kept = std::ranges::find_if(released, [&](const auto& socket) {
      return socket && wanted[i].Matches(socket->LocalAddress());
    });
    if (kept == released.end()) {
      bound[i] = Bind(wanted[i]);  // the predecessor stopped meanwhile and closed it
      continue;
    }
    (*kept)->Resume();
    bound[i] = std::make_unique<Listener>();
    bound[i]->socket = std::move(*kept);
    bound[i]->implicit_tls = wanted[i].implicit_tls;
    bound[i]->listening = true;
  }
  StartListening(std::move(bound));
}

void TcpServer::StartListening(std::vector<std::unique_ptr<Listener>> bound) {
  SetBoundAddresses(bound);
  try {
    for (auto& listener : bound) {
      if (!listener->listening)
        listener->socket->Listen(listen_queue_);
    }
  } catch (...) {
    SetBoundAddresses({});
    throw;
  }
  {
    std::lock_guard lock(stop_mutex_);
    stopping_ = false;
  }
  active_.store(true);
  try {
    for (auto& listener : bound) {
      Listener& own = *listener;
      listeners_.push_back(std::move(listener));
      own.thread = std::thread([this, &own] { ListenLoop(own); });
    }
  } catch (...) {
    Deactivate();  // the system refused a thread: stop those already listening
    throw;
  }
}

std::vector<std::unique_ptr<platform::TcpListener>> TcpServer::ReleaseListeners() {
  std::lock_guard lock(activation_mutex_);
  RequireOutsideListeners();
  for (auto& listener : listeners_)
    listener->socket->Stop();
  std::vector<std::unique_ptr<platform::TcpListener>> released;
  for (auto& listener : listeners_) {
    if (listener->thread.joinable())
      listener->thread.join();
    released.push_back(std::move(listener->socket));
  }
  listeners_.clear();
  SetBoundAddresses({});
  return released;
}

void TcpServer::RequireOutsideListeners() const {
  for (const auto& listener : listeners_) {
    if (listener->thread.get_id() == std::this_thread::get_id()) {
      throw std::logic_error("a listener cannot stop the server it runs in");
    }
  }
}

void TcpServer::SetBoundAddresses(const std::vector<std::unique_ptr<Listener>>& bound) {
  std::vector<platform::SocketAddress> addresses;
  for (const auto& listener : bound)
    addresses.push_back(listener->socket->LocalAddress());
  std::lock_guard lock(bound_mutex_);
  bound_addresses_ = std::move(addresses);
}

}  // namespace vantrel
