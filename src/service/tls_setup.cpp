#include "service/tls_setup.h"

#include <utility>

#include "common/error.h"
#include "config/settings.h"
#include "log/log_queue.h"
#include "net/tls_certificate.h"
#include "net/tls_context.h"
#include "platform/file_system.h"

namespace vantrel {
namespace {

void EnsureOwnPair(const std::string& cert, const std::string& key, const std::string& host_name,
                   LogQueue& log) {
  if (platform::PathExists(cert) && platform::PathExists(key))
    return;
  CreateSelfSigned(cert, key, host_name);
  log.LogLine("- TLS certificate created (SHA-256 fingerprint " + Sha256Fingerprint(cert) + ")");
}

bool OwnPair(const SettingsData& settings) {
  return settings.tlscertfile.empty() && settings.tlskeyfile.empty();
}

std::pair<std::string, std::string> PairFiles(const SettingsData& settings) {
  if (OwnPair(settings))
    return {settings.data_directory + kOwnCertificateFile, settings.data_directory + kOwnKeyFile};
  return {settings.tlscertfile, settings.tlskeyfile};
}

std::shared_ptr<const TlsContext> LoadPair(const SettingsData& settings,
                                           const std::string& host_name, LogQueue& log) {
  const auto [cert, key] = PairFiles(settings);
  if (OwnPair(settings)) {
    EnsureOwnPair(cert, key, host_name, log);
  } else if (cert.empty()) {
    throw Error("tlskeyfile is set but tlscertfile is not");
  } else if (key.empty()) {
    throw Error("tlscertfile is set but tlskeyfile is not");
  }
  return std::make_shared<const TlsContext>(cert, key);
}

}  // namespace

bool TlsWanted(const SettingsData& settings) {
  return settings.tlsmode > 0 || settings.tlsimplicitport > 0 || settings.webinterfacehttps;
}

std::shared_ptr<const TlsContext> ProvideTlsContext(const SettingsData& settings,
                                                    const std::string& host_name, LogQueue& log) {
  if (!TlsWanted(settings))
    return nullptr;
  try {
    return LoadPair(settings, host_name, log);
  } catch (const std::exception& failure) {
    // Error from the certificate files, TlsError from OpenSSL: both read as the reason.
    log.LogLine(std::string("- Failed to load TLS certificate (") + failure.what() + ")");
    return nullptr;
  }
}

std::string TlsSource(const SettingsData& settings) {
  if (!TlsWanted(settings))
    return {};
  const auto [cert, key] = PairFiles(settings);
  std::string source = cert + '\n' + key + '\n';
  for (const std::string& path : {cert, key})
    source += platform::ReadFileIfExists(path).value_or(std::string()) + '\n';
  return source;
}

}  // namespace vantrel
