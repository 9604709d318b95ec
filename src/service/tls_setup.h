#pragma once

// The certificate every encrypted port presents, chosen from the settings: the operator's
// PEM pair when both files are named, else the server's own self-signed pair in the data
// directory, made on first use and kept from then on so that clients which pinned its
// fingerprint go on trusting it.
//
// Whatever goes wrong ends in one log line and no context, never in a server that will
// not start: the ports then serve without TLS, and the operator reads why. Our own pair
// is made afresh only when a file of it is missing (a crash between its two writes leaves
// a key without a certificate, useless either way); one that exists but cannot be used is
// left alone, as it may hold a key somebody still needs.

#include <memory>
#include <string>

namespace vantrel {

class LogQueue;
class TlsContext;
struct SettingsData;

inline constexpr const char* kOwnCertificateFile = "vantrel.crt";
inline constexpr const char* kOwnKeyFile = "vantrel.key";

// Whether any port speaks TLS: explicit or implicit encrypted FTP, or HTTPS on the web port.
bool TlsWanted(const SettingsData& settings);

// The context for `settings` (its data directory included), or nothing when no port wants
// TLS or no usable pair can be had; then "- Failed to load TLS certificate (<reason>)" is
// logged. A pair it creates names `host_name` and is logged with its fingerprint. Any
// thread, one at a time per data directory (it may write the pair).
std::shared_ptr<const TlsContext> ProvideTlsContext(const SettingsData& settings,
                                                    const std::string& host_name, LogQueue& log);

// What the context for `settings` is made from: the two files' names and contents (empty
// when no port wants TLS). Equal sources make equal contexts, so a reload that changed
// neither keeps the context it has, and the engines that present it need no successor.
std::string TlsSource(const SettingsData& settings);

}  // namespace vantrel
