#pragma once

// The server side of TLS that every encrypted connection shares: the certificate chain
// and key, TLS 1.2 and 1.3 only, OpenSSL's default ciphers at security level 2, no
// renegotiation (a client could make the server redo the costly half of a handshake at
// will) and no compression (it leaks secrets through the record sizes).
//
// Sessions are cached on the server and handed out as tickets, under one session id
// context for the whole server, so that a data connection can resume the session of its
// control connection: a resumption costs no key exchange and proves the data connection
// comes from the client that logged in. Every session is marked for that check as it is
// made (TlsSession).
//
// The kernel's TLS offload is asked for unless switched off; where the kernel lacks it,
// OpenSSL quietly stays in user space.

#include <openssl/types.h>

#include <memory>
#include <string>

namespace vantrel {

// Made once (by whoever owns the server's settings) and shared by the sessions' threads,
// which only create connections from it: that is thread-safe in OpenSSL.
class TlsContext {
 public:
  enum class KernelTls { kWhenAvailable, kNever };

  // Sessions stay resumable this long: a control connection may outlast a whole working
  // day of transfers, and each data connection must still resume its session.
  static constexpr long kSessionLifetimeSeconds = 24 * 60 * 60;

  // Throws TlsError with CheckPemPair's reason for an unusable pair, or with OpenSSL's
  // when it refuses the certificate (a key too weak for security level 2).
  TlsContext(const std::string& cert_path, const std::string& key_path,
             KernelTls kernel = KernelTls::kWhenAvailable);
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // For the connections made from it.
  SSL_CTX* native() const { return context_.get(); }

 private:
  struct Free {
    void operator()(SSL_CTX* context) const;
  };

  std::unique_ptr<SSL_CTX, Free> context_;
};

}  // namespace vantrel
