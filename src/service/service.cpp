#include "service/service.h"

#include <algorithm>

#include "accounts/auto_ban.h"
#include "accounts/online_clients.h"
#include "accounts/session_records.h"
#include "accounts/users.h"
#include "common/packed_list.h"
#include "config/settings.h"
#include "ftp/ftp_server.h"
#include "log/log_file.h"
#include "log/log_queue.h"
#include "log/metrics.h"
#include "log/statistics.h"
#include "log/transfer_log.h"
#include "monitor/special_files.h"
#include "net/connection_budget.h"
#include "net/tls_context.h"
#include "platform/open_file_limit.h"
#include "platform/process.h"
#include "service/ftp_file_handlers.h"
#include "service/ftp_listing_handler.h"
#include "service/ftp_session_handlers.h"
#include "service/ftp_transfer_handlers.h"
#include "service/load_lines.h"
#include "service/proxy_setup.h"
#include "service/server_succession.h"
#include "service/state_files.h"
#include "service/tls_setup.h"
#include "service/web_interface.h"
#include "transfer/transfer_table.h"

namespace vantrel {
namespace {

constexpr int kIdleTicksBeforeTrim = 11;
constexpr int kFirstUnprivilegedPort = 1024;

}  // namespace

Service::Service(std::string data_directory, const Clock& clock)
    : data_directory_(std::move(data_directory)),
      clock_(clock),
      log_(std::make_unique<LogQueue>(clock)),
      log_file_(std::make_unique<LogFile>(clock)),
      metrics_(std::make_unique<Metrics>()),
      transfer_log_(std::make_unique<TransferLog>([this](const std::string& failure) {
        log_->LogLine("- Failed to write transfer log (" + failure + ")");
      })),
      settings_(std::make_unique<Settings>()),
      users_(std::make_unique<Users>(clock)),
      online_clients_(std::make_unique<OnlineClients>(clock)),
      members_(std::make_unique<Members>(*users_, *log_, data_directory_)),
      auto_ban_(std::make_unique<AutoBan>(*settings_, *log_, clock, metrics_.get())),
      statistics_(std::make_unique<Statistics>()),
      transfers_(std::make_unique<TransferTable>(*statistics_, metrics_.get())),
      special_files_(std::make_unique<SpecialFiles>()),
      session_records_(std::make_unique<SessionRecords>(*users_, *settings_)),
      connection_budget_(std::make_unique<ConnectionBudget>(
          ConnectionBudget::CapacityFor(platform::OpenFileLimit()))),
      session_handlers_(std::make_unique<FtpSessionHandlers>(
          HandlerUnits(), connection_budget_->Ceiling(), connection_budget_->Capacity(), clock)),
      file_handlers_(std::make_unique<FtpFileHandlers>(HandlerUnits())),
      listing_handler_(
          std::make_unique<FtpListingHandler>(*online_clients_, *log_, *session_records_, clock)),
      transfer_handlers_(std::make_unique<FtpTransferHandlers>(HandlerUnits(), clock_)),
      web_(std::make_unique<WebInterface>(
          ServiceUnits{*settings_, *users_, *auto_ban_, *statistics_, *log_}, *members_, clock,
          [this] { return MetricsText(); })),
      ftp_server_(NewFtpEngine()),
      succession_(std::make_unique<ServerSuccession>()),
      ftp_engine_settings_(std::make_unique<SettingsData>()) {
  settings_->SetDataDirectory(data_directory_);
  web_->SetConnectionBudget(connection_budget_.get());
}

Service::~Service() {
  // Connection threads use the units: they must all be gone before any unit is.
  succession_.reset();
  web_.reset();
  ftp_server_.reset();
}

std::unique_ptr<FtpServer> Service::NewFtpEngine() {
  return std::make_unique<FtpServer>(
      FtpHost{*session_handlers_, *file_handlers_, *listing_handler_, *transfer_handlers_}, clock_);
}

FtpHandlerUnits Service::HandlerUnits() {
  return FtpHandlerUnits{*settings_,   *users_,       *online_clients_,  *auto_ban_,
                         *statistics_, *log_,         *session_records_, *transfers_,
                         *metrics_,    *transfer_log_};
}

void Service::Load() {
  settings_->LoadSettings();
  ApplyLogFileSettings();
  log_->LogLine("- Running From [" + data_directory_ + "]");
  if (const std::string failure = settings_->LoadFailure(); !failure.empty())
    log_->LogLine(WithReason(kSettingsLoadFailed, failure));
  online_clients_->Clear();
  log_->LogLine(members_->Reload() ? kAccountsLoaded
                                   : WithReason(kAccountsLoadFailed, users_->LoadFailure()));
  log_->LogLine(special_files_->Load(data_directory_)
                    ? kMonitoredFilesLoaded
                    : WithReason(kMonitoredFilesLoadFailed, special_files_->LoadFailure()));
}

void Service::ApplyLogFileSettings() {
  log_file_->SetFilename(settings_->Get(&SettingsData::logfile));
  log_file_->SetMaxLines(settings_->Get(&SettingsData::logfilelines));
  // Opened afresh each time, so that a reload after rotating the file writes a new one.
  transfer_log_->SetPath(TransferLogPath(settings_->Snapshot()));
}

void Service::ApplyTlsSettings() {
  const SettingsData settings = settings_->Snapshot();
  if (std::lock_guard lock(tls_mutex_); tls_context_ && TlsSource(settings) == tls_source_)
    return;
  // Made outside the lock: creating a pair takes a while, and readers keep the old one.
  std::shared_ptr<const TlsContext> context =
      ProvideTlsContext(settings, platform::HostName(), *log_);
  std::string source = context ? TlsSource(settings) : std::string();  // a pair made just now
  std::lock_guard lock(tls_mutex_);
  tls_context_ = std::move(context);
  tls_source_ = std::move(source);
}

std::shared_ptr<const TlsContext> Service::CurrentTlsContext() const {
  std::lock_guard lock(tls_mutex_);
  return tls_context_;
}

MemberChange Service::AddMember(const AccountFields& fields) {
  return members_->Add(fields);
}

MemberChange Service::UpdateMember(const std::string& name, const AccountFields& fields) {
  return members_->Update(name, fields);
}

MemberChange Service::DeleteMember(const std::string& name) {
  return members_->Remove(name);
}

bool Service::ExportState(const std::string& container) const {
  return ExportStateFiles(data_directory_, container);
}

std::optional<std::vector<std::string>> Service::ImportState(const std::string& container) {
  auto imported = ImportStateFiles(container, data_directory_);
  for (const std::string& name : imported.value_or(std::vector<std::string>())) {
    if (name == Settings::kFileName)
      settings_->LoadSettings();
    else if (name == Users::kFileName)
      members_->Reload();
    else if (name == SpecialFiles::kFileName)
      special_files_->Load(data_directory_);
  }
  return imported;
}

void Service::ConfigureFtpEngine(FtpServer& server, const SettingsData& s) {
  server.SetDefaultPort(s.serverport);
  server.SetDefaultDataPort(s.dataport);
  server.SetMaxConnections(s.maxclientcount);
  server.SetMaxConnectionsPerAddress(s.maxclientsperaddress);
  server.SetConnectionBudget(connection_budget_.get());
  server.SetPassiveListenerCount(&passive_listeners_);
  server.SetProxyTrust(ProxyTrustOf(s, deadlines_.line));
  if (deadlines_.line)
    server.SetLineDeadline(*deadlines_.line);
  if (deadlines_.login)
    server.SetLoginDeadline(*deadlines_.login);
  server.Greeting().SetLines(SplitPacked(s.greetingtext));
  // 421 tells the client the server closes the connection; a 3xx code would read as a
  // preliminary success.
  server.MaxConnectionReply() = Reply(421, SplitPacked(s.maxclientcountreply));
  ConfigurePassiveRange(server, s);
  ConfigureFtpTls(server, s);
}

void Service::ConfigureFtpTls(FtpServer& server, const SettingsData& s) {
  FtpTlsOptions tls;
  tls.context = CurrentTlsContext();
  tls.mode = static_cast<FtpTlsMode>(std::clamp(s.tlsmode, 0, 3));
  tls.require_protected_data = s.tlsrequireprotp;
  tls.require_session_reuse = s.tlssessionreuse;
  // Without a certificate the implicit port stays closed: a client there expects a
  // handshake that could never come.
  server.SetImplicitTlsPort(tls.context ? s.tlsimplicitport : 0);
  server.SetTls(std::move(tls));
}

void Service::ConfigurePassiveRange(FtpServer& server, const SettingsData& s) {
  const int start = s.pasvrangestart;
  const int size = s.pasvrangesize;
  // Cleared first, so that the engine's "minimum below maximum" rule accepts any new range.
  server.SetPASVBoundPortMin(0);
  server.SetPASVBoundPortMax(0);
  if (start <= 0 || size <= 0)
    return;
  try {
    server.SetPASVBoundPortMax(start + size);
    server.SetPASVBoundPortMin(start);
    log_->LogLine("- Passive ports range set to [" + std::to_string(start) + ".." +
                  std::to_string(start + size) + "]");
  } catch (const std::exception& failure) {
    server.SetPASVBoundPortMin(0);
    server.SetPASVBoundPortMax(0);
    log_->LogLine(std::string("- ") + failure.what());
  }
}

void Service::StartServer() {
  if (!ftp_server_->Active()) {
    online_clients_->Clear();
    auto_ban_->ResetAutoBan();
    ApplyTlsSettings();
    try {
      // Inside: a port number out of range in the settings is a failure to start, too.
      const SettingsData s = settings_->Snapshot();
      ConfigureFtpEngine(*ftp_server_, s);
      ftp_server_->SetActive(true);
      *ftp_engine_settings_ = s;
      server_start_time_ = clock_.Now();
      log_->LogLine("- Server started (port " + std::to_string(ftp_server_->DefaultPort()) +
                    ", data " + std::to_string(ftp_server_->DefaultDataPort()) + ")");
    } catch (const std::exception& failure) {
      log_->LogLine(std::string("- Failed to start server: ") + failure.what());
      const int port = settings_->Get(&SettingsData::serverport);
      if (port > 0 && port < kFirstUnprivilegedPort && !platform::MayBindPrivilegedPorts()) {
        log_->LogLine("- Port " + std::to_string(port) +
                      " needs administrator rights; set serverport above 1023 to run "
                      "without them");
      }
    }
  }
  if (WebInterface::Wanted(settings_->Snapshot()) && ftp_server_->Active()) {
    web_->SetRequestDeadline(deadlines_.request);
    web_->SetTlsContext(CurrentTlsContext());
    web_->Start();
  }
}

void Service::StopServer() {
  succession_->StopAll();
  web_->Stop();
  if (!ftp_server_->Active())
    return;
  while (ftp_server_->Active()) {
    try {
      ftp_server_->SetActive(false);
    } catch (const std::exception&) {
      // Deactivation is retried until the engine reports inactive.
    }
  }
  server_start_time_ = 0;
  log_->LogLine("- Server stopped");
}

std::string Service::MetricsText() const {
  MetricGauges gauges;
  gauges.clients_online = online_clients_->Count();
  gauges.transfers_running = transfers_->RunningCount();
  gauges.passive_ports_in_use = passive_listeners_.load();
  gauges.tls_sessions = online_clients_->EncryptedCount();
  return RenderMetrics(metrics_->Counters(), gauges);
}

int Service::ConnectionCeiling() const {
  return connection_budget_->Ceiling();
}

bool Service::IsRunning() const {
  return ftp_server_->Active();
}

std::vector<platform::SocketAddress> Service::FtpAddresses() const {
  return ftp_server_->BoundAddresses();
}

std::vector<platform::SocketAddress> Service::WebAddresses() const {
  return web_->Active() ? web_->Addresses() : std::vector<platform::SocketAddress>();
}

void Service::Shutdown() {
  StopServer();
  const auto save = [this](const auto& step) {
    try {
      step();
    } catch (const std::exception& failure) {
      log_->LogLine(std::string("- ") + failure.what());
    }
  };
  save([this] { settings_->SaveSettings(); });
  save([this] { users_->SaveAccounts(data_directory_); });
  save([this] { special_files_->Save(data_directory_); });
}

void Service::LogTick(const LogSink& show) {
  std::vector<std::pair<DateTime, std::string>> lines;
  std::string text;
  DateTime time = 0;
  while (log_->PopLogLine(text, time))
    lines.emplace_back(time, std::move(text));
  if (lines.empty())
    return;
  if (settings_->Get(&SettingsData::logtofile)) {
    std::vector<std::string> texts;
    texts.reserve(lines.size());
    for (const auto& line : lines)
      texts.push_back(line.second);
    log_file_->WriteLines(texts);
  }
  if (show) {
    for (const auto& [when, line] : lines)
      show(when, line);
  }
}

void Service::RefreshTick() {
  auto_ban_->PurgeAutoBan(settings_->Get(&SettingsData::autoban_minutes));
  succession_->Reap();
  if (online_clients_->Count() > 0) {
    idle_ticks_ = 0;
  } else if (idle_ticks_ >= kIdleTicksBeforeTrim) {
    platform::TrimWorkingSet();
    idle_ticks_ = 1;
  } else {
    ++idle_ticks_;
  }
}

}  // namespace vantrel
