#include "net/tls_context.h"

#include <openssl/ssl.h>

#include "net/tls_certificate.h"
#include "net/tls_error.h"
#include "net/tls_session.h"

namespace vantrel {
namespace {

constexpr unsigned char kSessionIdContext[] = "vantrel";

// Runs for every ticket about to be sealed, so the mark travels inside it.
int MarkTicket(SSL* connection, void* /*unused*/) {
  return TlsSession::Mark(SSL_get0_session(connection)) ? 1 : 0;
}

void Require(bool ok, const std::string& what) {
  if (!ok)
    ThrowTlsError(what);
}

// After SetProtocol: the security level decides which keys are strong enough.
void LoadPair(SSL_CTX* context, const std::string& cert_path, const std::string& key_path) {
  Require(SSL_CTX_use_certificate_chain_file(context, cert_path.c_str()) == 1,
          "cannot use the certificate " + cert_path);
  Require(SSL_CTX_use_PrivateKey_file(context, key_path.c_str(), SSL_FILETYPE_PEM) == 1,
          "cannot use the key " + key_path);
}

void SetProtocol(SSL_CTX* context, TlsContext::KernelTls kernel) {
  Require(SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1 &&
              SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION) == 1 &&
              SSL_CTX_set_cipher_list(context, OSSL_default_cipher_list()) == 1 &&
              SSL_CTX_set_ciphersuites(context, OSSL_default_ciphersuites()) == 1,
          "cannot set the TLS protocol");
  // After the cipher list, which could carry a level of its own.
  SSL_CTX_set_security_level(context, 2);
  uint64_t options = SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION;
  if (kernel == TlsContext::KernelTls::kWhenAvailable)
    options |= SSL_OP_ENABLE_KTLS;
  SSL_CTX_set_options(context, options);
  // Writes may stop at any whole record and resume from a moved buffer: the
  // non-blocking sends hand over as much as the socket takes, and report it.
  // Control connections idle most of their lives: their buffers go back to the heap
  // between records (TlsSocket keeps them on data connections).
  SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                                SSL_MODE_RELEASE_BUFFERS);
  // Read what has arrived in one call, not a record header and then its body: half the
  // system calls on an upload.
  SSL_CTX_set_read_ahead(context, 1);
}

void SetSessions(SSL_CTX* context) {
  Require(
      SSL_CTX_set_session_id_context(context, kSessionIdContext, sizeof kSessionIdContext - 1) == 1,
      "cannot set the TLS session context");
  SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_SERVER);
  SSL_CTX_set_timeout(context, TlsContext::kSessionLifetimeSeconds);
  Require(SSL_CTX_set_session_ticket_cb(context, MarkTicket, nullptr, nullptr) == 1,
          "cannot set the TLS ticket callback");
}

}  // namespace

void TlsContext::Free::operator()(SSL_CTX* context) const {
  SSL_CTX_free(context);
}

TlsContext::TlsContext(const std::string& cert_path, const std::string& key_path, KernelTls kernel)
    : context_(SSL_CTX_new(TLS_server_method())) {
  if (!context_)
    ThrowTlsError("cannot create a TLS context");
  if (const auto reason = CheckPemPair(cert_path, key_path))
    throw TlsError(*reason);
  SetProtocol(context_.get(), kernel);
  LoadPair(context_.get(), cert_path, key_path);
  SetSessions(context_.get());
}

}  // namespace vantrel
