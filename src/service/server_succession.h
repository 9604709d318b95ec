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

namespace vantrel {

class CustomTCPServer;

// Owned by the service host, which destroys it before the units and handlers the engines
// use. Controlling thread.
class ServerSuccession {
 public:
  ServerSuccession();
  ~ServerSuccession();
  ServerSuccession(const ServerSuccession&) = delete;
  ServerSuccession& operator=(const ServerSuccession&) = delete;

  // Starts `successor` (configured, inactive) in the place of the running `current`, on
  // its sockets when `keep_port`, and swaps the two. Throws what binding throws; `current`
  // then goes on as it was.
  template <typename Server>
  void Replace(std::unique_ptr<Server>& current, std::unique_ptr<Server> successor,
               bool keep_port) {
    HandOver(*current, *successor, keep_port);
    predecessors_.push_back(std::move(current));
    current = std::move(successor);
  }
  // Stops and frees the predecessors whose last session has ended.
  void Reap();
  // Stops every predecessor, closing its sessions.
  void StopAll();

 private:
  static void HandOver(CustomTCPServer& current, CustomTCPServer& successor, bool keep_port);

  std::vector<std::unique_ptr<CustomTCPServer>> predecessors_;
};

}  // namespace vantrel
