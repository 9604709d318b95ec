#pragma once

// The TLS session of a control connection, kept so that its data connections can be
// required to resume it. That requirement is what stops a stranger who connects to a
// passive port before the client: only the client holds the session's secrets.
//
// "Resumed this session" cannot be told by comparing session objects or ids: a TLS 1.3
// client resumes with a ticket, and every ticket carries a session of its own, with its
// own id and its own secret. So every session of a control connection gets a random mark,
// which OpenSSL keeps in the session (and thus in the session cache) and seals into each
// ticket made from it; a resumption carries the mark of the session it came from.

#include <openssl/types.h>

#include <memory>

// As <openssl/ssl.h> declares it, without all that header brings.
typedef struct ssl_session_st SSL_SESSION;

namespace vantrel {

// A value: copies share the session. Any thread may read it once made.
class TlsSession {
 public:
  TlsSession() = default;

  bool empty() const { return session_ == nullptr; }
  // True when `connection`'s handshake resumed this session, from the session cache or
  // from any ticket made from it.
  bool ResumedBy(const SSL* connection) const;

  // Gives `session` a mark unless it has one. False when no random bytes could be had.
  static bool Mark(SSL_SESSION* session);
  // The session `connection` agreed, marked; empty before its handshake. Throws TlsError
  // when it cannot be marked.
  static TlsSession Of(const SSL* connection);

 private:
  explicit TlsSession(std::shared_ptr<SSL_SESSION> session) : session_(std::move(session)) {}

  std::shared_ptr<SSL_SESSION> session_;
};

}  // namespace vantrel
