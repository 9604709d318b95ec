#pragma once

// The server's configuration: one record, one lock, copies out. Connection threads read
// it concurrently with the main thread; only the settings dialog (through Update) and
// AddBanned change it.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "config/ban_index.h"
#include "config/load_state.h"

namespace vantrel {

// Every field of ftpsettings.lst, named after its key, with its default.
struct SettingsData {
  std::string data_directory;  // not stored; ends in "/"
  int serverport = 21;
  int dataport = 20;
  bool startonstartup = false;
  std::string greetingtext = "Wellcome to Vantrel!;";
  std::string pasvipaddr;
  int pasvrangestart = 16384;
  int pasvrangesize = 5;
  std::string bannedlist;
  bool webinterfaceenabled = false;
  int webinterfaceport = 4993;
  std::string webinterfaceusers;
  int webinterfacesessiontimeout = 60000;
  int maxclientcount = 0;
  int maxclientsperaddress = 50;  // 0: no limit
  std::string maxclientcountreply = "Server busy. Try again later.;";
  std::string servertitle = "Vantrel";
  std::string preventuploads;
  bool confirmexit = false;
  std::string anonymoushome;  // data directory + "Ftp"
  bool allowanonymous = false;
  bool anonymous_allowdownload = true;
  bool anonymous_allowupload = false;
  bool anonymous_allowrename = false;
  bool anonymous_allowdelete = false;
  bool anonymous_allowchangedir = true;
  bool anonymous_allowcreatedir = false;
  bool anonymous_allowdeletedir = false;
  std::string anonymous_virtual;
  bool autoban = false;
  int autoban_downloads = 10;
  int autoban_minutes = 2;
  int autoban_logins = 10;
  int autoban_mkdir = 5;
  int maxloglines = 100;
  int logfilelines = 500;
  std::string logfile;  // data directory + "FTPLog.txt"
  bool logtofile = false;
  bool startminimized = false;
  bool showtrayicon = true;
  int anonymous_upload = 0;
  int anonymous_download = 0;
  // Encrypted connections; all off by default, so an upgraded server speaks as before.
  int tlsmode = 0;          // 0 off, 1 offered, 2 required but for anonymous, 3 required
  int tlsimplicitport = 0;  // 0: no port where TLS starts at connect
  std::string tlscertfile;  // both empty: a self-signed pair in the data directory
  std::string tlskeyfile;
  bool tlsrequireprotp = false;
  bool tlssessionreuse = true;
  bool webinterfacehttps = false;
  // GET /metrics on the web port, also while the pages are off; only for these addresses
  // or ranges (patterns as in the ban list).
  bool metricsenabled = false;
  std::string metricsallowed = "127.0.0.1;::1;";
  // Load balancers in front: connections from the addresses or ranges of `proxytrusted`
  // (patterns as in the ban list) name their client in a PROXY header.
  bool proxyprotocol = false;
  std::string proxytrusted;
  // One line per transfer; empty: none. A relative name is taken in the data directory.
  std::string xferlog;
};

// Where `xferlog` says the transfer log goes; empty when it is off.
std::string TransferLogPath(const SettingsData& settings);

class Settings {
 public:
  static constexpr const char* kFileName = "ftpsettings.lst";
  static constexpr const char* kSection = "ftpsettings";

  Settings();

  void SetDataDirectory(std::string directory);
  std::string GetDataDirectory() const;

  void ResetSettings();
  // Defaults, then whatever ftpsettings.lst in the data directory holds.
  void LoadSettings();
  // Why the last load could not read an existing ftpsettings.lst; empty when it could.
  std::string LoadFailure() const;
  // Takes the record of `loaded`, a fresh object that has just read the file without a
  // failure, in one step: readers never see the defaults in between. Bans AddBanned made
  // since this object last read or wrote the file stay, as the file never held them.
  void Replace(const Settings& loaded);
  // Throws Error("Unable to write to ...") and leaves the previous file intact; refuses
  // so while the last load could not read the file.
  void SaveSettings() const;

  // One locked getter for every field: settings.Get(&SettingsData::serverport).
  template <typename T>
  T Get(T SettingsData::*field) const {
    std::lock_guard lock(mutex_);
    return data_.*field;
  }
  SettingsData Snapshot() const;
  // Runs `change` on the record under the lock (the settings dialog's write path).
  template <typename Fn>
  void Update(Fn&& change) {
    std::lock_guard lock(mutex_);
    const std::string banned = data_.bannedlist;
    change(data_);
    if (data_.bannedlist != banned)
      banned_.Rebuild(data_.bannedlist);
    generation_.fetch_add(1);
  }
  // Moves on with every change; a session whose record was built from older settings
  // rebuilds it.
  std::uint64_t Generation() const { return generation_.load(); }

  std::vector<std::string> GetGreetingLines() const;
  std::vector<std::string> GetMaxClientCountReplyLines() const;
  bool IsBanned(std::string_view address) const;
  void AddBanned(std::string_view address, std::string_view reason);
  bool IsWebUser(std::string_view name, std::string_view password) const;

 private:
  void ResetLocked();

  mutable std::mutex mutex_;
  SettingsData data_;     // guarded by mutex_
  BanIndex banned_;       // guarded by mutex_; always the index of data_.bannedlist
  LoadState load_state_;  // guarded by mutex_
  // guarded by mutex_; the items AddBanned appended since the file was last read or written
  mutable std::string unsaved_bans_;
  // Written under mutex_; read without it by sessions checking their record.
  std::atomic<std::uint64_t> generation_{1};
};

}  // namespace vantrel
