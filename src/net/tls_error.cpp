#include "net/tls_error.h"

#include <openssl/err.h>

namespace vantrel {

std::string TakeTlsReason(const std::string& fallback) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason != nullptr ? reason : fallback;
}

void ThrowTlsError(const std::string& what) {
  throw TlsError(what + ": " + TakeTlsReason("unknown reason"));
}

}  // namespace vantrel
