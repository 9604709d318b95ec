#include "service/web_interface.h"

#include "config/settings.h"
#include "log/log_queue.h"
#include "net/connection_budget.h"
#include "service/web_pages.h"
#include "web/http_server.h"

namespace vantrel {

WebInterface::WebInterface(const ServiceUnits& units, Members& members, const Clock& clock)
    : units_(units),
      refusals_(units.log, clock),
      pages_(std::make_unique<WebPages>(units, members)),
      server_(std::make_unique<HttpServer>(clock)) {
  BindEvents();
}

WebInterface::~WebInterface() {
  // The engine's threads call the pages: they end before the pages do.
  server_.reset();
}

void WebInterface::BindEvents() {
  WebPages& pages = *pages_;
  server_->OnConnect = [&pages](Connection& c) { pages.Connect(c); };
  server_->OnException = [&pages](Connection& c, const std::exception& e) {
    pages.Exception(c, e);
  };
  server_->OnRefuse = [this](const platform::SocketAddress& peer, Refusal reason) {
    const int ceiling = budget_ ? budget_->Ceiling() : 0;
    refusals_.LogLine("HTTP> " + peer.ip + "> " + RefusalText(reason, ceiling), peer.ip);
  };
  server_->OnCommandGet = [&pages](Connection& c, HttpRequestInfo& request,
                                   HttpResponseInfo& response) {
    pages.CommandGet(c, request, response);
  };
}

void WebInterface::Start() {
  if (server_->Active())
    return;
  const SettingsData settings = units_.settings.Snapshot();
  try {
    server_->SetDefaultPort(settings.webinterfaceport);
    server_->SetServerSoftware(settings.servertitle);
    server_->SetAutoStartSession(true);
    server_->SetSessionTimeOut(settings.webinterfacesessiontimeout);
    server_->SetSessionState(true);
    server_->SetMaxConnections(kMaxConnections);
    server_->SetMaxConnectionsPerAddress(kMaxConnectionsPerAddress);
    server_->SetConnectionBudget(budget_);
    if (request_deadline_)
      server_->SetRequestDeadline(*request_deadline_);
    server_->SetTls(settings.webinterfacehttps ? tls_ : nullptr);
    server_->SetActive(true);
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

bool WebInterface::Active() const {
  return server_->Active();
}

std::vector<platform::SocketAddress> WebInterface::Addresses() const {
  return server_->BoundAddresses();
}

}  // namespace vantrel
