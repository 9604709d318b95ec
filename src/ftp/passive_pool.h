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

#include "net/connection_budget.h"
#include "platform/socket_address.h"
#include "platform/tcp_listener.h"

namespace vantrel {

// Shared by all sessions of one server; every call takes the one lock.
class PassivePool {
 public:
  // `place` is the listener's descriptor in the budget, held while it is kept.
  void Put(std::unique_ptr<platform::TcpListener> listener, DescriptorGrant place);
  // The listener kept for exactly this address and port, emptied; nothing otherwise. Its
  // place goes back to the budget: the caller has taken one for it already.
  std::unique_ptr<platform::TcpListener> Take(const std::string& ip, platform::IpVersion version,
                                              int port);
  // Closes every kept listener (the server stops).
  void Clear();

 private:
  using Key = std::pair<std::string, int>;
  struct Kept {
    DescriptorGrant place;  // given back after the listener closes
    std::unique_ptr<platform::TcpListener> listener;
  };
  static Key KeyOf(const std::string& ip, platform::IpVersion version, int port);

  std::mutex mutex_;
  std::map<Key, Kept> listeners_;  // guarded by mutex_
};

}  // namespace vantrel
