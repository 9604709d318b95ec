#pragma once

// Reads the PROXY header a load balancer sends first on a connection, and not one byte
// more: what follows is the client's, and may be read next by a layer that reads the
// socket itself (a TLS handshake on the implicit port). So the reader peeks, lets the
// parser judge, and takes only the bytes that it knows belong to the header. Reading a
// block and handing the rest on was rejected: TLS cannot be given bytes read before it.

#include <chrono>

#include "net/proxy_header.h"

namespace vantrel {

namespace platform {
class TcpSocket;
}

enum class ProxyRead {
  kDone,       // `header` is set; the socket's next byte is the client's first
  kMalformed,  // the bytes are no PROXY header, or a broken one
  kMissing,    // the peer closed, or sent no complete header within the time-out
};

// Any thread that owns `socket`; waits at most `timeout` in all.
ProxyRead ReadProxyHeader(platform::TcpSocket& socket, std::chrono::milliseconds timeout,
                          ProxyHeader& header);

}  // namespace vantrel
