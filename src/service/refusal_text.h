#pragma once

// How the log names the reason a connection was turned away. Refusals come in floods,
// one per connection: their lines go through a LogThrottle keyed by address.

#include <string>

#include "ftp/ftp_host.h"
#include "net/tcp_server.h"

namespace vantrel {

// What the log says about a refusal, after the key and "> "; `ceiling` is the connection
// budget's, which the operator needs to know once it is reached.
std::string RefusalText(Refusal reason, int ceiling);
// The same for a command refused for want of a descriptor; `capacity` is the budget's.
std::string RefusalText(DescriptorUse use, int capacity);

}  // namespace vantrel
