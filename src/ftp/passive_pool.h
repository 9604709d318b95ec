#pragma once

// Passive listeners whose transfer has begun, kept by the server for the next PASV that
// asks for their address and port. Binding a port anew makes the system compare it with
// every connection that lingers on that port in TIME_WAIT; since passive ports come from
// the top of the range first, the same few ports would gather thousands of them from a
// client fetching many small files, and each bind would cost more. A kept listener is as
// free as an unbound port: any session may take it, and it is emptied of connections
// that queued on it meanwhile before it is announced again.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/socket_address.h"
#include "platform/tcp_listener.h"

namespace vantrel {

// Shared by all sessions of one server; every call takes the one lock.
class PassivePool {
 public:
  void Put(std::unique_ptr<platform::TcpListener> listener);
  // The listener kept for exactly this address and port, emptied; nothing otherwise.
  std::unique_ptr<platform::TcpListener> Take(const std::string& ip, platform::IpVersion version,
                                              int port);
  // Closes every kept listener (the server stops).
  void Clear();

 private:
  using Key = std::pair<std::string, int>;
  static Key KeyOf(const std::string& ip, platform::IpVersion version, int port);

  std::mutex mutex_;
  std::map<Key, std::unique_ptr<platform::TcpListener>> listeners_;
};

}  // namespace vantrel
