#pragma once

#include <memory>

namespace vantrel {

class TlsContext;

// How far a server that offers encryption insists on it at login.
enum class FtpTlsMode {
  kOff,                   // AUTH and its companions are not offered
  kOffered,               // a client may use AUTH TLS
  kRequiredButAnonymous,  // USER before AUTH is refused, but for the anonymous names
  kRequired,              // USER before AUTH is refused for every name
};

// The engine's encryption settings; every session reads them, none changes them.
struct FtpTlsOptions {
  // Null: nothing is encrypted, whatever the mode (the certificate could not be had).
  std::shared_ptr<const TlsContext> context;
  FtpTlsMode mode = FtpTlsMode::kOff;
  // PROT C is refused and no transfer runs before PROT P.
  bool require_protected_data = false;
  // A protected data connection must resume the control connection's TLS session; that
  // proves it comes from the client that logged in and not from whoever reached the
  // passive port first. Off only for old clients that cannot resume.
  bool require_session_reuse = true;
};

}  // namespace vantrel
