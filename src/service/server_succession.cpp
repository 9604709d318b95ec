#include "service/server_succession.h"

#include <algorithm>

#include "ftp/custom_tcp_server.h"
#include "platform/tcp_listener.h"

namespace vantrel {

ServerSuccession::ServerSuccession() = default;

ServerSuccession::~ServerSuccession() = default;

void ServerSuccession::HandOver(CustomTCPServer& current, CustomTCPServer& successor,
                                bool keep_port) {
  if (keep_port) {
    successor.ActivateOn(current.ReleaseListeners());
    return;
  }
  successor.SetActive(true);
  current.ReleaseListeners();
}

void ServerSuccession::Reap() {
  // No new session can begin on a predecessor, so an empty one stays empty.
  std::erase_if(predecessors_, [](const auto& server) { return server->ContextCount() == 0; });
}

void ServerSuccession::StopAll() {
  predecessors_.clear();
}

}  // namespace vantrel
