#pragma once

// The web administration interface as the service sees it: the HTTP engine with the
// site's pages bound to its events, started from the settings and stopped with the FTP
// service.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "config/settings.h"
#include "log/log_throttle.h"
#include "platform/socket_address.h"
#include "service/ftp_session_handlers.h"
#include "service/refusal_text.h"

namespace vantrel {

class TlsContext;

class ConnectionBudget;
class HttpServer;
class Members;
class ServerSuccession;
class WebPages;
struct SettingsData;

// Owned by the service host, created after the units it is given and destroyed before
// them. Start, Stop and Active belong to the controlling thread; the pages run on the
// engine's connection threads.
class WebInterface {
 public:
  // `metrics` renders the text of /metrics (see WebPages); none: that path is refused.
  WebInterface(const ServiceUnits& units, Members& members, const Clock& clock = DefaultClock(),
               std::function<std::string()> metrics = {});
  // Whether the settings ask for the engine: for the pages, or for the metrics alone.
  static bool Wanted(const SettingsData& settings);
  ~WebInterface();
  WebInterface(const WebInterface&) = delete;
  WebInterface& operator=(const WebInterface&) = delete;

  // The site's own caps, within the budget it shares with the FTP service: an
  // administration site has few visitors, so a flood of connections stops here.
  static constexpr int kMaxConnections = 256;
  static constexpr int kMaxConnectionsPerAddress = 16;

  // Taken at the next Start: the budget shared with the FTP engine (null: none), and the
  // request deadline (nothing: the engine's own).
  void SetConnectionBudget(ConnectionBudget* budget) { budget_ = budget; }
  void SetRequestDeadline(std::optional<std::chrono::milliseconds> deadline) {
    request_deadline_ = deadline;
  }
  // The certificate HTTPS uses when the settings ask for it; null: plain HTTP.
  void SetTlsContext(std::shared_ptr<const TlsContext> context) { tls_ = std::move(context); }

  // Configures the engine from the settings (port, title, session time-out) and starts
  // it; logs the started line, or the failure line when it cannot listen. Nothing when it
  // runs already.
  void Start();
  // Stops the engine if it runs, closing every connection, and logs that it stopped.
  void Stop();
  // After the settings (and the certificate) were read again: starts or stops the site as
  // they say, and gives a running site whose port, title, session time-out, encryption or
  // load balancers' trust changed a successor (see ServerSuccession), logging the started
  // line, or the failure line while the old engine stays.
  void Reconfigure(ServerSuccession& succession);
  bool Active() const;
  // Where the engine listens while active (ports chosen by the system filled in).
  std::vector<platform::SocketAddress> Addresses() const;

 private:
  void BindEvents(HttpServer& server);
  void Configure(HttpServer& server, const SettingsData& settings);
  // Runs `start`, then logs the started line, or the failure line when it threw.
  void LogStart(const SettingsData& settings, const std::function<void()>& start);

  ServiceUnits units_;
  const Clock& clock_;
  LogThrottle refusals_;  // one line per address a minute
  ConnectionBudget* budget_ = nullptr;
  std::optional<std::chrono::milliseconds> request_deadline_;
  std::shared_ptr<const TlsContext> tls_;
  // What the running engine was configured with; only the controlling thread uses them.
  SettingsData configured_;
  std::shared_ptr<const TlsContext> configured_tls_;
  std::unique_ptr<WebPages> pages_;
  std::unique_ptr<HttpServer> server_;
};

}  // namespace vantrel
