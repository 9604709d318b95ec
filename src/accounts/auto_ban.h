#pragma once

// Recent failures per peer address, so that an address that keeps failing within a few
// minutes can be put on the ban list. Counting per connection key was rejected: a client
// that reconnects from a new port would start afresh every time and never reach the
// threshold. Callers still pass connection keys; the tables keep only the address part.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"

namespace vantrel {

class LogQueue;
class Metrics;
class Settings;

double MinutesBetween(DateTime a, DateTime b);
double HoursBetween(DateTime a, DateTime b);
double SecondsBetween(DateTime a, DateTime b);

// What failed, which picks the table, the threshold setting and the ban reason.
enum class BanRule {
  kLogin,            // "autoban (login)", threshold autoban_logins
  kDownload,         // "autoban (get)", threshold autoban_downloads, logs nothing
  kMakeDirectory,    // "autoban (mkdir)", threshold autoban_mkdir
  kChangeDirectory,  // "autoban (mk/chg dir)", threshold autoban_mkdir
};

// Owned by the service host; any thread may call it. The settings, the log queue and the
// metrics (which count the bans it adds; null: none) must outlive it. Its lock is never
// held while the settings or the log are called.
class AutoBan {
 public:
  AutoBan(Settings& settings, LogQueue& log, const Clock& clock = DefaultClock(),
          Metrics* metrics = nullptr);

  void ResetAutoBan();

  void AddLoginFailure(std::string_view key);
  void AddDownloadFailure(std::string_view key);
  void AddDirectoryFailure(std::string_view key);
  // Failures of the key's address younger than `window_minutes`; every one when it is 0.
  int CountLoginFailures(std::string_view key, double window_minutes) const;
  int CountDownloadFailures(std::string_view key, double window_minutes) const;
  int CountDirectoryFailures(std::string_view key, double window_minutes) const;
  // Removes the oldest failure of the key's address; false when it has none.
  bool ForgiveLoginFailure(std::string_view key);
  bool ForgiveDownloadFailure(std::string_view key);
  bool ForgiveDirectoryFailure(std::string_view key);
  // Drops failures older than `window_minutes` from all three tables.
  void PurgeAutoBan(double window_minutes);

  // The whole rule for one failure that the caller has already decided on: nothing while
  // auto-ban is off or the rule's threshold is 0 or less; otherwise records it and, once
  // the address has more failures within the window than the threshold, adds the address
  // to the ban list (unless a ban entry already covers it) and logs "<key>, <user>> AutoBan
  // (...)". True when this call banned the address.
  bool RecordFailure(BanRule rule, std::string_view key, std::string_view user);

 private:
  struct Failure {
    std::string address;
    DateTime time;
  };
  enum Table { kLoginTable, kDownloadTable, kDirectoryTable, kTableCount };

  void Add(Table table, std::string_view key);
  int Count(Table table, std::string_view key, double window_minutes) const;
  bool Forgive(Table table, std::string_view key);

  Settings& settings_;
  LogQueue& log_;
  const Clock& clock_;
  Metrics* const metrics_;
  mutable std::mutex mutex_;
  std::vector<Failure> tables_[kTableCount];  // guarded by mutex_; each in time order
};

}  // namespace vantrel
