#pragma once

// The certificate and key the encrypted FTP and web ports present, in PEM files.
//
// A server without a certificate of its own makes one: an EC P-256 key (as strong as a
// 3072-bit RSA key, at a tenth of the handshake cost) and a self-signed X.509 v3
// certificate naming the host as subject CN and as subjectAltName (DNS, or IP for an
// address literal; clients match the latter only), a random 159-bit serial, valid from now
// for ten years, signed with SHA-256. Both files are replaced in one step, so a crash
// leaves the old pair or the new one; the key is created private (0600) and never passes
// through a readable state, the certificate is world-readable (0644).
//
// Operators compare the SHA-256 fingerprint of the DER certificate with what their client
// shows on first contact. CheckPemPair runs before a pair is loaded, so a bad file gives
// a sentence for the log rather than a handshake failure on every connection later. A
// key protected by a passphrase is refused, never prompted for: a daemon has nobody to ask.

#include <optional>
#include <string>

namespace vantrel {

// Throws Error with the reason (an unusable host name, a file that cannot be written).
void CreateSelfSigned(const std::string& cert_path, const std::string& key_path,
                      const std::string& host_name);

// "AB:CD:...": 32 upper case hex pairs. Throws Error with the reason, as CheckPemPair
// words it.
std::string Sha256Fingerprint(const std::string& cert_path);

// Nothing when the pair can be used; else why not ("cannot read <path>: No such file or
// directory", "not a PEM certificate", "the key does not match the certificate").
std::optional<std::string> CheckPemPair(const std::string& cert_path, const std::string& key_path);

}  // namespace vantrel
