#pragma once

// What goes wrong on an encrypted connection, as one exception type. It is a SocketError,
// so code that already ends a transfer or a session on a failed connection treats a
// failed TLS connection the same way; the cause says what only TLS can tell apart.

#include <string>

#include "platform/socket_error.h"

namespace vantrel {

class TlsError : public platform::SocketError {
 public:
  enum class Cause {
    kFailure,       // the handshake or a record failed; the message gives OpenSSL's reason
    kUncleanClose,  // the peer closed without close_notify: what it sent may be cut short
    kNotResumed,    // a data connection that did not resume its control connection's session
  };

  explicit TlsError(const std::string& what, Cause cause = Cause::kFailure)
      : platform::SocketError(what), cause_(cause) {}

  Cause cause() const { return cause_; }

 private:
  Cause cause_;
};

// The reason of the first error in this thread's OpenSSL error queue ("unsupported
// protocol"), or `fallback` when the queue is empty. Empties the queue.
std::string TakeTlsReason(const std::string& fallback);

// Throws TlsError("<what>: <reason>") with the reason as TakeTlsReason gives it.
[[noreturn]] void ThrowTlsError(const std::string& what);

}  // namespace vantrel
