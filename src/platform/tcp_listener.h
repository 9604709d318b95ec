#pragma once

// A listening TCP socket whose Accept another thread can interrupt. The waiting thread
// polls the socket together with the read end of a private pipe; Stop() writes to the
// pipe. Closing the socket from the other thread instead would race with the descriptor
// being reused, and shutdown() on a listening socket is not portable.

#include <atomic>
#include <chrono>
#include <optional>
#include <string>

#include "platform/socket_address.h"
#include "platform/tcp_socket.h"

namespace vantrel::platform {

// Owned by one thread that accepts; Stop() may be called from any thread.
class TcpListener {
 public:
  // kNo spares the pipe (three system calls and two descriptors per listener) where only
  // the owning thread ever waits, as for a passive data connection, which is watched
  // through SocketWait: Stop() then only marks the listener, and a wait runs its time.
  enum class Wakeable { kNo, kYes };

  // Creates the socket (IPv6 ones accept IPv6 only, so IPv4 peers always appear as dotted
  // decimal on the IPv4 listener), sets SO_REUSEADDR when asked, and binds. An empty ip
  // means every interface; port 0 lets the system choose. Throws SocketError, or
  // AddressInUse when the port is taken (Listen() too).
  TcpListener(const std::string& ip, int port, IpVersion version, bool reuse_address,
              Wakeable wakeable = Wakeable::kYes);
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  void Listen(int backlog);
  // The bound address, with the port the system chose.
  const SocketAddress& LocalAddress() const { return local_; }

  // Waits up to `timeout` for a connection. Nothing when the time passed or the listener
  // was stopped. Throws SocketError when the system refuses (for example out of
  // descriptors); the pending connection then stays queued.
  std::optional<TcpSocket> Accept(std::chrono::milliseconds timeout);
  // Closes every connection already queued (one kept across transfers may have gathered
  // some that nobody should be served on).
  void DiscardQueued();
  // Waits up to `timeout` or until Stop(); true when stopped. For pausing after a failure.
  bool WaitForStop(std::chrono::milliseconds timeout);

  void Stop();
  bool Stopped() const { return stopped_.load(); }
  // Accepts again after Stop(), for a new owner taking the socket over: it stayed bound
  // and listening throughout, so connections that came meanwhile are still queued. Not
  // while another thread waits in it.
  void Resume();

 private:
  friend class SocketWait;

  std::optional<TcpSocket> TakeQueued();

  int fd_ = -1;
  int wake_read_ = -1;
  int wake_write_ = -1;
  SocketAddress local_;
  std::atomic<bool> stopped_{false};
};

}  // namespace vantrel::platform
