// A reload reads ftpsettings.lst, ftpmembers.lst and httpspecialfiles.lst again while the
// server runs. Each file is read in full before anything live changes, and one that
// cannot be read leaves its part of the state as it was, with the start-up's failure line
// and the reason. What the running engines were configured with reaches them through a
// successor engine (see server_succession.h), so no session is dropped; the accounts go
// through the table's own load, whose generation tells the sessions to look again.

#include <string>
#include <tuple>
#include <utility>

#include "accounts/users.h"
#include "config/settings.h"
#include "ftp/ftp_server.h"
#include "log/log_queue.h"
#include "monitor/special_files.h"
#include "service/load_lines.h"
#include "service/members.h"
#include "service/server_succession.h"
#include "service/service.h"
#include "service/web_interface.h"

namespace vantrel {
namespace {

constexpr const char* kReloaded = "- Configuration reloaded";
// A missing file is no reason to forget every account; it is a failure to say so.
constexpr const char* kNoFile = "No such file or directory";

// What the FTP engine takes when it starts: a change to any of it needs a successor.
auto FtpEngineValues(const SettingsData& s) {
  return std::tie(s.serverport, s.dataport, s.maxclientcount, s.maxclientsperaddress,
                  s.maxclientcountreply, s.greetingtext, s.pasvrangestart, s.pasvrangesize,
                  s.tlsmode, s.tlsimplicitport, s.tlsrequireprotp, s.tlssessionreuse,
                  s.proxyprotocol, s.proxytrusted);
}

}  // namespace

void Service::Reload() {
  const bool settings_taken = ReloadSettings();
  bool complete = settings_taken;
  if (!members_->Reread()) {
    const std::string failure = users_->LoadFailure();
    log_->LogLine(WithReason(kAccountsLoadFailed, failure.empty() ? kNoFile : failure));
    complete = false;
  }
  // A missing list is an empty one, as at start-up: nothing was ever monitored.
  if (!special_files_->Load(data_directory_)) {
    log_->LogLine(WithReason(kMonitoredFilesLoadFailed, special_files_->LoadFailure()));
    complete = false;
  }
  if (settings_taken) {
    ApplyLogFileSettings();
    ApplyTlsSettings();
    if (ftp_server_->Active()) {
      const SettingsData now = settings_->Snapshot();
      if (FtpEngineValues(*ftp_engine_settings_) != FtpEngineValues(now) ||
          ftp_server_->Tls().context != CurrentTlsContext())
        ReplaceFtpEngine();
      web_->SetTlsContext(CurrentTlsContext());
      web_->Reconfigure(*succession_);
    }
  }
  if (complete)
    log_->LogLine(kReloaded);
}

bool Service::ReloadSettings() {
  Settings fresh;
  fresh.SetDataDirectory(data_directory_);
  fresh.LoadSettings();
  if (const std::string failure = fresh.LoadFailure(); !failure.empty()) {
    log_->LogLine(WithReason(kSettingsLoadFailed, failure));
    return false;
  }
  settings_->Replace(fresh);
  return true;
}

void Service::ReplaceFtpEngine() {
  const SettingsData s = settings_->Snapshot();
  std::unique_ptr<FtpServer> successor = NewFtpEngine();
  try {
    ConfigureFtpEngine(*successor, s);
    succession_->Replace(ftp_server_, std::move(successor));
    *ftp_engine_settings_ = s;
  } catch (const std::exception& failure) {
    // The running engine stays, and so does what it was configured with: the next reload
    // tries again, even with the same file.
    log_->LogLine(std::string("- Failed to start server: ") + failure.what());
  }
}

}  // namespace vantrel
