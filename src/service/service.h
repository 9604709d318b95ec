#pragma once

// The host of the server: it owns every unit (settings, accounts, online clients,
// auto-ban, statistics, transfers, monitored files, the log queue and log file) and the
// FTP engine, answers the engine's questions through the handlers it gives the engine as
// its host, and offers the life-cycle steps that both front ends drive: Load at start-up,
// StartServer/StopServer, Shutdown, and the two ticks.
//
// Threads: the life-cycle steps and the ticks belong to one controlling thread (the main
// thread of either front end). The engine's questions arrive on connection threads and only
// touch the units, each of which has its own lock. The units are created before and
// destroyed after the engine, so no connection thread can reach a freed unit.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "platform/socket_address.h"
#include "service/client_deadlines.h"
#include "service/ftp_request.h"
#include "service/members.h"

namespace vantrel {

class AutoBan;
class ConnectionBudget;
class FtpServer;
struct SettingsData;
class FtpFileHandlers;
class FtpListingHandler;
class FtpTransferHandlers;
class FtpSessionHandlers;
class LogFile;
class LogQueue;
class Metrics;
class OnlineClients;
class ServerSuccession;
class SessionRecords;
class Settings;
class SpecialFiles;
class Statistics;
class TlsContext;
class TransferLog;
class TransferTable;
class Users;
class WebInterface;
struct AccountFields;
struct SettingsData;

class Service {
 public:
  // `data_directory` ends in "/" and exists (see ResolveDataDirectory).
  explicit Service(std::string data_directory, const Clock& clock = DefaultClock());
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Start-up: settings, log file, the running-from line, accounts, monitored files.
  void Load();
  void StartServer();
  void StopServer();
  // Taken at the next StartServer.
  void SetClientDeadlines(const ClientDeadlines& deadlines) { deadlines_ = deadlines; }
  // The connections FTP and web may hold together, from the process's descriptor limit
  // when the service was made (refusals over it are logged with the figure).
  int ConnectionCeiling() const;
  // Closing: stop, then save settings, accounts and monitored files. Failures are logged.
  void Shutdown();
  // Reads the three state files again and applies them to the running server without
  // dropping a session (see service_reload.cpp). Controlling thread.
  void Reload();

  bool IsRunning() const;
  // The moment the FTP service was last started; 0 while stopped.
  DateTime ServerStartTime() const { return server_start_time_; }
  // Where the FTP engine listens while running (ports chosen by the system filled in).
  std::vector<platform::SocketAddress> FtpAddresses() const;
  // Where the web interface listens while it runs; empty while it is stopped.
  std::vector<platform::SocketAddress> WebAddresses() const;

  // Drains the log queue, oldest first: every line goes to the log file when `logtofile`
  // is on, then to `show`. Controlling thread, every 500 ms.
  using LogSink = std::function<void(DateTime time, const std::string& line)>;
  void LogTick(const LogSink& show);
  // Forgets stale auto-ban failures and, after a quiet while, gives unused memory back.
  // Controlling thread, every 2000 ms.
  void RefreshTick();
  // Takes the log file's name and line limit from the settings again.
  void ApplyLogFileSettings();
  // Makes the TLS context from the settings again (see tls_setup.h), unless neither they
  // nor the certificate's files changed; StartServer does so too. Controlling thread.
  void ApplyTlsSettings();
  // The context the encrypted ports share; null while no port wants TLS or no certificate
  // could be loaded. Any thread; a holder keeps its copy alive across a replacement.
  std::shared_ptr<const TlsContext> CurrentTlsContext() const;

  // The member operations of both front ends: by name, saved and logged at once (see
  // Members). Any thread.
  MemberChange AddMember(const AccountFields& fields);
  MemberChange UpdateMember(const std::string& name, const AccountFields& fields);
  MemberChange DeleteMember(const std::string& name);

  // The settings export and import (see state_files.h). An import takes up the files it
  // replaced, so that the saving at close writes them back unchanged. Controlling thread.
  bool ExportState(const std::string& container) const;
  std::optional<std::vector<std::string>> ImportState(const std::string& container);

  const std::string& data_directory() const { return data_directory_; }
  const Clock& clock() const { return clock_; }
  Settings& settings() { return *settings_; }
  Users& users() { return *users_; }
  OnlineClients& online_clients() { return *online_clients_; }
  AutoBan& auto_ban() { return *auto_ban_; }
  Statistics& statistics() { return *statistics_; }
  TransferTable& transfers() { return *transfers_; }
  SpecialFiles& special_files() { return *special_files_; }
  LogQueue& log() { return *log_; }
  LogFile& log_file() { return *log_file_; }

 private:
  FtpHandlerUnits HandlerUnits();
  // An inactive FTP engine answered by this host's handlers; StartServer's, and a
  // reload's successor.
  std::unique_ptr<FtpServer> NewFtpEngine();
  void ConfigureFtpEngine(FtpServer& server, const SettingsData& s);
  void ConfigurePassiveRange(FtpServer& server, const SettingsData& s);
  void ConfigureFtpTls(FtpServer& server, const SettingsData& s);
  bool ReloadSettings();
  void ReplaceFtpEngine();
  // The text of /metrics; any thread.
  std::string MetricsText() const;

  const std::string data_directory_;
  const Clock& clock_;
  // Units first: they outlive the engine, which is destroyed (and joined) first.
  std::unique_ptr<LogQueue> log_;
  std::unique_ptr<LogFile> log_file_;
  std::unique_ptr<Metrics> metrics_;
  std::unique_ptr<TransferLog> transfer_log_;
  // Passive listeners waiting for their clients, in this engine and those it replaced.
  std::atomic<int> passive_listeners_{0};
  std::unique_ptr<Settings> settings_;
  std::unique_ptr<Users> users_;
  std::unique_ptr<OnlineClients> online_clients_;
  std::unique_ptr<Members> members_;
  std::unique_ptr<AutoBan> auto_ban_;
  std::unique_ptr<Statistics> statistics_;
  std::unique_ptr<TransferTable> transfers_;
  std::unique_ptr<SpecialFiles> special_files_;
  std::unique_ptr<SessionRecords> session_records_;
  std::unique_ptr<ConnectionBudget> connection_budget_;
  std::unique_ptr<FtpSessionHandlers> session_handlers_;
  std::unique_ptr<FtpFileHandlers> file_handlers_;
  std::unique_ptr<FtpListingHandler> listing_handler_;
  std::unique_ptr<FtpTransferHandlers> transfer_handlers_;
  std::unique_ptr<WebInterface> web_;
  std::unique_ptr<FtpServer> ftp_server_;
  // Engines a reload replaced, until their sessions end; destroyed first.
  std::unique_ptr<ServerSuccession> succession_;
  // What the FTP engine was last configured with, which a reload compares the file with.
  std::unique_ptr<SettingsData> ftp_engine_settings_;

  DateTime server_start_time_ = 0;
  int idle_ticks_ = 0;
  ClientDeadlines deadlines_;

  mutable std::mutex tls_mutex_;
  std::shared_ptr<const TlsContext> tls_context_;  // guarded by tls_mutex_
  std::string tls_source_;                         // guarded by tls_mutex_; see TlsSource
};

}  // namespace vantrel
