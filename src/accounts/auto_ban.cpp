#include "accounts/auto_ban.h"

#include <algorithm>
#include <cmath>

#include "common/connection_key.h"
#include "config/settings.h"
#include "log/log_queue.h"
#include "log/metrics.h"

namespace vantrel {
namespace {

struct RuleFacts {
  int SettingsData::*threshold;
  const char* reason;
  const char* log_text;  // nullptr: the rule bans silently
};

RuleFacts FactsOf(BanRule rule) {
  switch (rule) {
    case BanRule::kLogin:
      return {&SettingsData::autoban_logins, "autoban (login)", "> AutoBan (login)"};
    case BanRule::kDownload:
      return {&SettingsData::autoban_downloads, "autoban (get)", nullptr};
    case BanRule::kMakeDirectory:
      return {&SettingsData::autoban_mkdir, "autoban (mkdir)", "> AutoBan (mk/chg dir)"};
    case BanRule::kChangeDirectory:
      return {&SettingsData::autoban_mkdir, "autoban (mk/chg dir)", "> AutoBan (mk/chg dir)"};
  }
  return {&SettingsData::autoban_logins, "autoban (login)", "> AutoBan (login)"};
}

}  // namespace

double MinutesBetween(DateTime a, DateTime b) {
  return std::fabs(a - b) * 1440.0;
}
double HoursBetween(DateTime a, DateTime b) {
  return std::fabs(a - b) * 24.0;
}
double SecondsBetween(DateTime a, DateTime b) {
  return std::fabs(a - b) * kSecondsPerDay;
}

AutoBan::AutoBan(Settings& settings, LogQueue& log, const Clock& clock, Metrics* metrics)
    : settings_(settings), log_(log), clock_(clock), metrics_(metrics) {}

void AutoBan::ResetAutoBan() {
  std::lock_guard lock(mutex_);
  for (auto& table : tables_)
    table.clear();
}

void AutoBan::Add(Table table, std::string_view key) {
  Failure failure{std::string(AddressOfKey(key)), clock_.Now()};
  std::lock_guard lock(mutex_);
  tables_[table].push_back(std::move(failure));
}

int AutoBan::Count(Table table, std::string_view key, double window_minutes) const {
  const std::string_view address = AddressOfKey(key);
  const DateTime now = clock_.Now();
  std::lock_guard lock(mutex_);
  return static_cast<int>(
      std::count_if(tables_[table].begin(), tables_[table].end(), [&](const Failure& f) {
        return f.address == address &&
               (window_minutes == 0 || MinutesBetween(f.time, now) < window_minutes);
      }));
}

bool AutoBan::Forgive(Table table, std::string_view key) {
  const std::string_view address = AddressOfKey(key);
  std::lock_guard lock(mutex_);
  auto& failures = tables_[table];
  const auto found = std::find_if(failures.begin(), failures.end(),
                                  [&](const Failure& f) { return f.address == address; });
  if (found == failures.end())
    return false;
  failures.erase(found);
  return true;
}

void AutoBan::AddLoginFailure(std::string_view key) {
  Add(kLoginTable, key);
}
void AutoBan::AddDownloadFailure(std::string_view key) {
  Add(kDownloadTable, key);
}
void AutoBan::AddDirectoryFailure(std::string_view key) {
  Add(kDirectoryTable, key);
}

int AutoBan::CountLoginFailures(std::string_view key, double window_minutes) const {
  return Count(kLoginTable, key, window_minutes);
}
int AutoBan::CountDownloadFailures(std::string_view key, double window_minutes) const {
  return Count(kDownloadTable, key, window_minutes);
}
int AutoBan::CountDirectoryFailures(std::string_view key, double window_minutes) const {
  return Count(kDirectoryTable, key, window_minutes);
}

bool AutoBan::ForgiveLoginFailure(std::string_view key) {
  return Forgive(kLoginTable, key);
}
bool AutoBan::ForgiveDownloadFailure(std::string_view key) {
  return Forgive(kDownloadTable, key);
}
bool AutoBan::ForgiveDirectoryFailure(std::string_view key) {
  return Forgive(kDirectoryTable, key);
}

void AutoBan::PurgeAutoBan(double window_minutes) {
  const DateTime now = clock_.Now();
  std::lock_guard lock(mutex_);
  for (auto& failures : tables_) {
    std::erase_if(failures,
                  [&](const Failure& f) { return MinutesBetween(f.time, now) > window_minutes; });
  }
}

bool AutoBan::RecordFailure(BanRule rule, std::string_view key, std::string_view user) {
  const RuleFacts facts = FactsOf(rule);
  const int threshold = settings_.Get(facts.threshold);
  if (!settings_.Get(&SettingsData::autoban) || threshold <= 0)
    return false;
  const int window = settings_.Get(&SettingsData::autoban_minutes);

  const Table table = rule == BanRule::kLogin      ? kLoginTable
                      : rule == BanRule::kDownload ? kDownloadTable
                                                   : kDirectoryTable;
  Add(table, key);
  if (Count(table, key, window) <= threshold)
    return false;

  // Every later failure of a banned address would otherwise append another copy of the
  // same entry to the ban list, which the client could grow without bound.
  const std::string address(AddressOfKey(key));
  if (settings_.IsBanned(address))
    return false;
  settings_.AddBanned(address, facts.reason);
  if (metrics_)
    metrics_->CountBan();
  if (facts.log_text != nullptr) {
    log_.LogLine(std::string(key) + ", " + std::string(user) + facts.log_text);
  }
  return true;
}

}  // namespace vantrel
