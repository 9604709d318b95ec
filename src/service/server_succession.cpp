#include "service/server_succession.h"

#include <algorithm>

namespace vantrel {

void ServerSuccession::Reap() {
  // No new session can begin on a predecessor, so an empty one stays empty.
  std::erase_if(predecessors_, [](const auto& server) { return server->ConnectionCount() == 0; });
}

void ServerSuccession::StopAll() {
  predecessors_.clear();
}

}  // namespace vantrel
