#pragma once

// Replacing a running engine without dropping a session. The engines take their
// configuration before they start and refuse changes while they run, so a reload that
// changes what an engine holds (its port, limits, texts, passive range) starts a
// successor configured afresh in its place: on the same listening sockets when the port
// stays, so that no connection attempt goes unheard; a new port is bound before the old
// one is let go. The predecessor stops accepting and serves the sessions
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
  // Starts `successor` (configured, inactive) in the place of the running `current`
  // (TcpServer::TakeOver) and swaps the two. A port that cannot be bound throws and leaves
  // `current` as it was. `Server` is the engine's own type: an engine may hide TakeOver
  // behind one that does more, as it may SetActive.
  template <typename Server>
  void Replace(std::unique_ptr<Server>& current, std::unique_ptr<Server> successor) {
    successor->TakeOver(*current);
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
