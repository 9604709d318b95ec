#include "net/tls_session.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>

#include <cstddef>

#include "net/tls_error.h"

namespace vantrel {
namespace {

constexpr std::size_t kMarkBytes = 16;

struct MarkView {
  const void* data = nullptr;
  std::size_t size = 0;
};

MarkView MarkOf(SSL_SESSION* session) {
  void* data = nullptr;
  std::size_t size = 0;
  SSL_SESSION_get0_ticket_appdata(session, &data, &size);
  return {data, size};
}

}  // namespace

bool TlsSession::Mark(SSL_SESSION* session) {
  if (MarkOf(session).size == kMarkBytes)
    return true;
  unsigned char mark[kMarkBytes];
  return RAND_bytes(mark, sizeof mark) == 1 &&
         SSL_SESSION_set1_ticket_appdata(session, mark, sizeof mark) == 1;
}

TlsSession TlsSession::Of(const SSL* connection) {
  SSL_SESSION* session = SSL_get1_session(const_cast<SSL*>(connection));
  if (session == nullptr)
    return TlsSession();
  std::shared_ptr<SSL_SESSION> owned(session, SSL_SESSION_free);
  if (!Mark(session))
    ThrowTlsError("cannot mark the TLS session");
  return TlsSession(std::move(owned));
}

bool TlsSession::ResumedBy(const SSL* connection) const {
  if (!session_ || SSL_session_reused(connection) != 1)
    return false;
  const MarkView ours = MarkOf(session_.get());
  const MarkView theirs = MarkOf(SSL_get_session(connection));
  return ours.size == kMarkBytes && theirs.size == kMarkBytes &&
         CRYPTO_memcmp(ours.data, theirs.data, kMarkBytes) == 0;
}

}  // namespace vantrel
