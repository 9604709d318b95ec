#pragma once

// Replacing a running engine without dropping a session. The engines take their
// configuration before they start and refuse changes while they run, so a reload that
// changes what an engine holds (its port, limits, texts, passive range) starts a
// successor configured afresh in its place: on the same listening sockets when the port
// stays, so that no connection attempt goes unheard; otherwise on the new port, bound
// before the old one is let go. The predecessor stops accepting and serves the sessions
// it has until they end.
//
// Making every engine setting changeable while sessions read it was turned down: each
// field would need a lock on the engine's busiest paths, for a step taken once in a while.

#include <memory>
#include <vector>

#include "net/tcp_server.h"
#include "platform/tcp_listener.h"

namespace vantrel {

// Owned by the service host, which destroys it before the units and handlers the engines
// use. Controlling thread.
class ServerSuccession {
 public:
  // Starts `successor` (configured, inactive) in the place of the running `current`, on
  // its sockets when `keep_port` (binding afresh when it has none), and swaps the two. A
  // port that cannot be bound throws and leaves `current` as it was; on kept sockets only
  // the system's refusal of a thread can fail, and then neither engine listens until the
  // next replacement binds again. `Server` is the engine's own type: an engine may hide
  // SetActive behind one that does more. Taking over sockets (ActivateOn) does only the
  // base's part, so such an engine must not keep its port this way.
  template <typename Server>
  void Replace(std::unique_ptr<Server>& current, std::unique_ptr<Server> successor,
               bool keep_port) {
    auto sockets = keep_port ? current->ReleaseListeners()
                             : std::vector<std::unique_ptr<platform::TcpListener>>();
    if (!sockets.empty()) {
      successor->ActivateOn(std::move(sockets));
    } else {
      successor->SetActive(true);
      current->ReleaseListeners();
    }
    predecessors_.push_back(std::move(current));
    current = std::move(successor);
  }
  // Stops and frees the predecessors whose last session has ended.
  void Reap();
  // Stops every predecessor, closing its sessions.
  void StopAll();

 private:
  std::vector<std::unique_ptr<TcpServer>> predecessors_;
};

}  // namespace vantrel
