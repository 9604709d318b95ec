#include "service/web_interface.h"

#include <tuple>
#include <utility>

#include "config/settings.h"
#include "log/log_queue.h"
#include "net/connection_budget.h"
#include "service/proxy_setup.h"
#include "service/server_succession.h"
#include "service/web_pages.h"
#include "web/http_server.h"

namespace vantrel {
namespace {

// What the engine takes when it starts: a change to any of it needs a successor.
auto EngineValues(const SettingsData& s) {
  return std::tie(s.webinterfaceport, s.servertitle, s.webinterfacesessiontimeout,
                  s.webinterfacehttps);
}

}  // namespace

WebInterface::WebInterface(const ServiceUnits& units, Members& members, const Clock& clock,
                           std::function<std::string()> metrics)
    : units_(units),
      clock_(clock),
      refusals_(units.log, clock),
      pages_(std::make_unique<WebPages>(units, members, std::move(metrics))),
      server_(std::make_unique<HttpServer>(clock)) {
  BindEvents(*server_);
}

WebInterface::~WebInterface() {
  // The engine's threads call the pages: they end before the pages do.
  server_.reset();
}

void WebInterface::BindEvents(HttpServer& server) {
  WebPages& pages = *pages_;
  server.OnConnect = [&pages](Connection& c) { pages.Connect(c); };
  server.OnException = [&pages](Connection& c, const std::exception& e) { pages.Exception(c, e); };
  server.OnRefuse = [this](const platform::SocketAddress& peer, Refusal reason) {
    const int ceiling = budget_ ? budget_->Ceiling() : 0;
    refusals_.LogLine("HTTP> " + peer.ip + "> " + RefusalText(reason, ceiling), peer.ip);
  };
  server.OnCommandGet = [&pages](Connection& c, HttpRequestInfo& request,
                                 HttpResponseInfo& response) {
    pages.CommandGet(c, request, response);
  };
}

void WebInterface::Start() {
  if (server_->Active())
    return;
  const SettingsData settings = units_.settings.Snapshot();
  LogStart(settings, [&] {
    Configure(*server_, settings);
    server_->SetActive(true);
  });
}

void WebInterface::Configure(HttpServer& server, const SettingsData& settings) {
  server.SetDefaultPort(settings.webinterfaceport);
  server.SetServerSoftware(settings.servertitle);
  server.SetAutoStartSession(true);
  server.SetSessionTimeOut(settings.webinterfacesessiontimeout);
  server.SetSessionState(true);
  server.SetMaxConnections(kMaxConnections);
  server.SetMaxConnectionsPerAddress(kMaxConnectionsPerAddress);
  server.SetConnectionBudget(budget_);
  if (request_deadline_)
    server.SetRequestDeadline(*request_deadline_);
  server.SetTls(settings.webinterfacehttps ? tls_ : nullptr);
  server.SetProxyTrust(ProxyTrustOf(settings, request_deadline_));
  configured_ = settings;
  configured_tls_ = settings.webinterfacehttps ? tls_ : nullptr;
}

void WebInterface::LogStart(const SettingsData& settings, const std::function<void()>& start) {
  try {
    start();
  } catch (const std::exception&) {
    units_.log.LogLine("- Failed to start Web interface");
    return;
  }
  units_.log.LogLine("- Web interface started (port " + std::to_string(settings.webinterfaceport) +
                     ", timeout " + std::to_string(settings.webinterfacesessiontimeout) + ")");
}

void WebInterface::Stop() {
  if (!server_->Active())
    return;
  try {
    server_->SetActive(false);
  } catch (const std::exception&) {
    // Stopping goes on regardless; the engine has closed what it could.
  }
  units_.log.LogLine("- Web interface stopped");
}

bool WebInterface::Wanted(const SettingsData& settings) {
  return settings.webinterfaceenabled || settings.metricsenabled;
}

void WebInterface::Reconfigure(ServerSuccession& succession) {
  const SettingsData settings = units_.settings.Snapshot();
  if (!Wanted(settings)) {
    Stop();
  } else if (!server_->Active()) {
    Start();
  } else if (EngineValues(settings) != EngineValues(configured_) ||
             (settings.webinterfacehttps ? tls_ : nullptr) != configured_tls_ ||
             ProxyTrustOf(settings, request_deadline_) != server_->Proxy()) {
    std::unique_ptr<HttpServer> successor = std::make_unique<HttpServer>(clock_);
    BindEvents(*successor);
    const SettingsData running = configured_;
    const auto running_tls = configured_tls_;
    LogStart(settings, [&] {
      try {
        Configure(*successor, settings);
        succession.Replace(server_, std::move(successor));
      } catch (...) {
        configured_ = running;  // the old engine serves on, as it was configured
        configured_tls_ = running_tls;
        throw;
      }
    });
  }
}

bool WebInterface::Active() const {
  return server_->Active();
}

std::vector<platform::SocketAddress> WebInterface::Addresses() const {
  return server_->BoundAddresses();
}

}  // namespace vantrel
