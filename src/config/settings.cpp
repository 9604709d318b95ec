#include "config/settings.h"

#include <algorithm>
#include <climits>
#include <variant>

#include "common/constant_time.h"
#include "common/packed_list.h"
#include "common/text.h"
#include "config/list_file.h"

namespace vantrel {
namespace {

using Field = std::variant<int SettingsData::*, bool SettingsData::*, std::string SettingsData::*>;

struct Key {
  const char* name;
  Field field;
  // An integer outside these bounds is as malformed as one that is no number.
  int min = INT_MIN;
  int max = INT_MAX;
};

constexpr int kMaxPort = 65535;

// The order in which keys are read and written.
const Key kKeys[] = {
    {"startonstartup", &SettingsData::startonstartup},
    {"greetingtext", &SettingsData::greetingtext},
    {"pasvipaddr", &SettingsData::pasvipaddr},
    {"pasvrangestart", &SettingsData::pasvrangestart},
    {"pasvrangesize", &SettingsData::pasvrangesize},
    {"bannedlist", &SettingsData::bannedlist},
    {"webinterfaceenabled", &SettingsData::webinterfaceenabled},
    {"webinterfaceport", &SettingsData::webinterfaceport},
    {"webinterfaceusers", &SettingsData::webinterfaceusers},
    {"webinterfacesessiontimeout", &SettingsData::webinterfacesessiontimeout},
    {"webinterfacehttps", &SettingsData::webinterfacehttps},
    {"metricsenabled", &SettingsData::metricsenabled},
    {"metricsallowed", &SettingsData::metricsallowed},
    {"proxyprotocol", &SettingsData::proxyprotocol},
    {"proxytrusted", &SettingsData::proxytrusted},
    {"maxclientcount", &SettingsData::maxclientcount},
    {"maxclientsperaddress", &SettingsData::maxclientsperaddress},
    {"maxclientcountreply", &SettingsData::maxclientcountreply},
    {"servertitle", &SettingsData::servertitle},
    {"serverport", &SettingsData::serverport},
    {"dataport", &SettingsData::dataport},
    {"tlsmode", &SettingsData::tlsmode, 0, 3},
    {"tlsimplicitport", &SettingsData::tlsimplicitport, 0, kMaxPort},
    {"tlscertfile", &SettingsData::tlscertfile},
    {"tlskeyfile", &SettingsData::tlskeyfile},
    {"tlsrequireprotp", &SettingsData::tlsrequireprotp},
    {"tlssessionreuse", &SettingsData::tlssessionreuse},
    {"maxloglines", &SettingsData::maxloglines},
    {"logtofile", &SettingsData::logtofile},
    {"logfile", &SettingsData::logfile},
    {"xferlog", &SettingsData::xferlog},
    {"startminimized", &SettingsData::startminimized},
    {"preventuploads", &SettingsData::preventuploads},
    {"autoban", &SettingsData::autoban},
    {"autoban_downloads", &SettingsData::autoban_downloads},
    {"autoban_minutes", &SettingsData::autoban_minutes},
    {"autoban_logins", &SettingsData::autoban_logins},
    {"autoban_mkdir", &SettingsData::autoban_mkdir},
    {"confirmexit", &SettingsData::confirmexit},
    {"allowanonymous", &SettingsData::allowanonymous},
    {"anonymoushome", &SettingsData::anonymoushome},
    {"anonymous_allowdownload", &SettingsData::anonymous_allowdownload},
    {"anonymous_allowupload", &SettingsData::anonymous_allowupload},
    {"anonymous_allowrename", &SettingsData::anonymous_allowrename},
    {"anonymous_allowdelete", &SettingsData::anonymous_allowdelete},
    {"anonymous_allowchangedir", &SettingsData::anonymous_allowchangedir},
    {"anonymous_allowcreatedir", &SettingsData::anonymous_allowcreatedir},
    {"anonymous_allowdeletedir", &SettingsData::anonymous_allowdeletedir},
    {"anonymous_virtual", &SettingsData::anonymous_virtual},
    {"anonymous_upload", &SettingsData::anonymous_upload},
    {"anonymous_download", &SettingsData::anonymous_download},
    {"showtrayicon", &SettingsData::showtrayicon},
    {"logfilelines", &SettingsData::logfilelines},
};

void ReadKey(const ListFile& file, const Key& key, SettingsData& data) {
  const char* section = Settings::kSection;
  std::visit(
      [&](auto member) {
        auto& value = data.*member;
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, int>) {
          const int read = file.ReadInteger(section, key.name, value);
          if (read >= key.min && read <= key.max)
            value = read;
        } else if constexpr (std::is_same_v<T, bool>) {
          value = file.ReadBool(section, key.name, value);
        } else {
          value = file.ReadString(section, key.name, value);
        }
      },
      key.field);
}

void WriteKey(ListFile& file, const Key& key, const SettingsData& data) {
  const char* section = Settings::kSection;
  std::visit(
      [&](auto member) {
        const auto& value = data.*member;
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, int>) {
          file.WriteInteger(section, key.name, value);
        } else if constexpr (std::is_same_v<T, bool>) {
          file.WriteBool(section, key.name, value);
        } else {
          file.WriteString(section, key.name, value);
        }
      },
      key.field);
}

// Text after the last ";" is no item and is dropped, as splitting and joining the list
// would; the list itself is not read again.
void AppendPacked(std::string& list, const std::string& item) {
  list.erase(list.rfind(';') + 1);
  list += item;
  list += ';';
}

}  // namespace

std::string TransferLogPath(const SettingsData& settings) {
  const std::string& name = settings.xferlog;
  if (name.empty() || name.front() == '/')
    return name;
  return settings.data_directory + name;
}

Settings::Settings() {
  ResetLocked();
}

void Settings::SetDataDirectory(std::string directory) {
  std::lock_guard lock(mutex_);
  data_.data_directory = WithTrailingSlash(std::move(directory));
  generation_.fetch_add(1);
}

std::string Settings::GetDataDirectory() const {
  std::lock_guard lock(mutex_);
  return data_.data_directory;
}

void Settings::ResetSettings() {
  std::lock_guard lock(mutex_);
  ResetLocked();
}

void Settings::ResetLocked() {
  generation_.fetch_add(1);
  SettingsData fresh;
  fresh.data_directory = data_.data_directory;
  fresh.anonymoushome = fresh.data_directory + "Ftp";
  fresh.logfile = fresh.data_directory + "FTPLog.txt";
  data_ = std::move(fresh);
  banned_.Rebuild(data_.bannedlist);
  unsaved_bans_.clear();
}

void Settings::LoadSettings() {
  std::lock_guard lock(mutex_);
  ResetLocked();
  const ListFile file(data_.data_directory + kFileName);
  for (const Key& key : kKeys)
    ReadKey(file, key, data_);
  banned_.Rebuild(data_.bannedlist);
  load_state_.Record(file);
}

std::string Settings::LoadFailure() const {
  std::lock_guard lock(mutex_);
  return load_state_.failure();
}

void Settings::Replace(const Settings& loaded) {
  SettingsData data = loaded.Snapshot();
  std::lock_guard lock(mutex_);
  data.data_directory = data_.data_directory;
  const std::vector<std::string> listed = SplitPacked(data.bannedlist);
  for (const std::string& item : SplitPacked(unsaved_bans_)) {
    if (std::find(listed.begin(), listed.end(), item) == listed.end())
      AppendPacked(data.bannedlist, item);
  }
  data_ = std::move(data);
  banned_.Rebuild(data_.bannedlist);
  load_state_ = LoadState();
  generation_.fetch_add(1);
}

void Settings::SaveSettings() const {
  std::lock_guard lock(mutex_);
  const std::string path = data_.data_directory + kFileName;
  load_state_.CheckSave(path);
  ListFile file(path);
  for (const Key& key : kKeys)
    WriteKey(file, key, data_);
  file.Save();
  unsaved_bans_.clear();
}

SettingsData Settings::Snapshot() const {
  std::lock_guard lock(mutex_);
  return data_;
}

std::vector<std::string> Settings::GetGreetingLines() const {
  return SplitPacked(Get(&SettingsData::greetingtext));
}

std::vector<std::string> Settings::GetMaxClientCountReplyLines() const {
  return SplitPacked(Get(&SettingsData::maxclientcountreply));
}

bool Settings::IsBanned(std::string_view address) const {
  std::lock_guard lock(mutex_);
  return banned_.Matches(address);
}

void Settings::AddBanned(std::string_view address, std::string_view reason) {
  const std::string item = std::string(address) + "=" + std::string(reason);
  std::lock_guard lock(mutex_);
  AppendPacked(data_.bannedlist, item);
  AppendPacked(unsaved_bans_, item);
  banned_.Add(item + ";");
  generation_.fetch_add(1);
}

bool Settings::IsWebUser(std::string_view name, std::string_view password) const {
  const auto items = SplitPacked(Get(&SettingsData::webinterfaceusers));
  for (const auto& item : items) {
    const NameValue user = SplitNameValue(item);
    // The first entry of that name is the one that counts.
    if (user.has_separator && user.name == name)
      return ConstantTimeEquals(user.value, password);
  }
  return false;
}

}  // namespace vantrel
