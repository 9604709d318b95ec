#include "accounts/users.h"

#include <algorithm>

#include "common/constant_time.h"
#include "common/date_time.h"
#include "common/text.h"
#include "config/list_file.h"

namespace vantrel {
namespace {

constexpr const char* kCountSection = "ftpmembers";
constexpr const char* kCountKey = "ftpmembers";
constexpr const char* kRecordType = "ftpmember";
constexpr const char* kMissing = "readfailed";

std::string AccountFilePath(const std::string& directory) {
  return WithTrailingSlash(directory) + Users::kFileName;
}

// The seven permission flags with their file keys, in the order they are written.
struct FlagKey {
  const char* key;
  bool AccountFields::*field;
};
constexpr FlagKey kFlagKeys[] = {
    {"allow_download", &FtpUserData::allow_download},
    {"allow_upload", &FtpUserData::allow_upload},
    {"allow_rename", &FtpUserData::allow_rename},
    {"allow_changedirectory", &FtpUserData::allow_changedirectory},
    {"allow_makedirectory", &FtpUserData::allow_makedirectory},
    {"allow_deletefile", &FtpUserData::allow_deletefile},
    {"allow_deletedirectory", &FtpUserData::allow_deletedirectory},
};

FtpUserData ReadAccount(const ListFile& file, const std::string& section) {
  FtpUserData account;
  account.user = file.ReadString(section, "user", kMissing);
  account.pass = file.ReadString(section, "pass", kMissing);
  account.home = file.ReadString(section, "home", kMissing);
  account.addr = file.ReadString(section, "addr", kMissing);
  for (const auto& flag : kFlagKeys)
    account.*flag.field = file.ReadBool(section, flag.key, false);
  account.virtualdir = file.ReadString(section, "virtualdir", "");
  account.filecontrol = file.ReadString(section, "filecontrol", "");
  account.download = file.ReadInteger(section, "download", 0);
  account.upload = file.ReadInteger(section, "upload", 0);
  return account;
}

void WriteAccount(ListFile& file, const std::string& section, const FtpUserData& account) {
  file.WriteString(section, "user", account.user);
  file.WriteString(section, "pass", account.pass);
  file.WriteString(section, "home", account.home);
  file.WriteString(section, "addr", account.addr);
  for (const auto& flag : kFlagKeys)
    file.WriteBool(section, flag.key, account.*flag.field);
  file.WriteString(section, "virtualdir", account.virtualdir);
  file.WriteString(section, "filecontrol", account.filecontrol);
  file.WriteInteger(section, "download", account.download);
  file.WriteInteger(section, "upload", account.upload);
  file.WriteString(section, "clientid", "");
}

// The account of that name or at that index in `accounts` (const or not); null when none.
template <typename Accounts>
auto FindByName(Accounts& accounts, std::string_view name) -> decltype(accounts.data()) {
  const auto found = std::find_if(accounts.begin(), accounts.end(),
                                  [name](const FtpUserData& a) { return a.user == name; });
  return found == accounts.end() ? nullptr : &*found;
}

template <typename Accounts>
auto FindByIndex(Accounts& accounts, int index) -> decltype(accounts.data()) {
  if (index < 0 || index >= static_cast<int>(accounts.size()))
    return nullptr;
  return &accounts[static_cast<std::size_t>(index)];
}

}  // namespace

Users::Users(const Clock& clock) : clock_(clock) {}

void Users::ClearAccounts() {
  std::lock_guard lock(mutex_);
  accounts_.clear();
  ChangedLocked();
}

bool Users::LoadAccounts(const std::string& directory) {
  const ListFile file(AccountFilePath(directory));
  std::vector<FtpUserData> loaded;
  if (file.found()) {
    int count = file.ReadInteger(kCountSection, kCountKey, 0);
    // An impossible count is a malformed number, and malformed numbers read as 0.
    if (count < 0 || count > kMaxAccounts)
      count = 0;
    loaded.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
      loaded.push_back(ReadAccount(file, RecordSection(kRecordType, i)));
  }
  std::lock_guard lock(mutex_);
  load_state_.Record(file);
  if (!file.found())
    return false;
  accounts_ = std::move(loaded);
  ChangedLocked();
  return true;
}

std::string Users::LoadFailure() const {
  std::lock_guard lock(mutex_);
  return load_state_.failure();
}

void Users::SaveAccounts(const std::string& directory) const {
  const std::string path = AccountFilePath(directory);
  std::vector<FtpUserData> snapshot;
  {
    std::lock_guard lock(mutex_);
    load_state_.CheckSave(path);
    snapshot = accounts_;
  }
  // Opening the existing file keeps its other sections, so a shrunken table leaves its
  // old tail behind; loading reads only as many sections as the count says.
  ListFile file(path);
  file.WriteInteger(kCountSection, kCountKey, static_cast<std::int64_t>(snapshot.size()));
  for (std::size_t i = 0; i < snapshot.size(); ++i) {
    WriteAccount(file, RecordSection(kRecordType, static_cast<int>(i)), snapshot[i]);
  }
  file.Save();
}

int Users::AccountCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(accounts_.size());
}

int Users::FindAccount(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const FtpUserData* found = FindByName(accounts_, name);
  return found == nullptr ? -1 : static_cast<int>(found - accounts_.data());
}

std::optional<AccountFields> Users::GetAccount(int index) const {
  std::lock_guard lock(mutex_);
  const FtpUserData* account = FindByIndex(accounts_, index);
  if (account == nullptr)
    return std::nullopt;
  return static_cast<const AccountFields&>(*account);
}

bool Users::UpdateAccount(int index, const AccountFields& fields) {
  std::lock_guard lock(mutex_);
  FtpUserData* account = FindByIndex(accounts_, index);
  if (account == nullptr)
    return false;
  static_cast<AccountFields&>(*account) = fields;
  ChangedLocked();
  return true;
}

bool Users::AddAccount(const AccountFields& fields) {
  std::lock_guard lock(mutex_);
  if (FindByName(accounts_, fields.user) != nullptr)
    return false;
  FtpUserData account;
  static_cast<AccountFields&>(account) = fields;
  accounts_.push_back(std::move(account));
  ChangedLocked();
  return true;
}

bool Users::DeleteAccount(int index) {
  std::lock_guard lock(mutex_);
  if (FindByIndex(accounts_, index) == nullptr)
    return false;
  accounts_.erase(accounts_.begin() + index);
  ChangedLocked();
  return true;
}

std::optional<AccountFields> Users::GetAccountByName(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const FtpUserData* account = FindByName(accounts_, name);
  if (account == nullptr)
    return std::nullopt;
  return static_cast<const AccountFields&>(*account);
}

bool Users::UpdateAccountByName(std::string_view name, const AccountFields& fields) {
  std::lock_guard lock(mutex_);
  FtpUserData* account = FindByName(accounts_, name);
  if (account == nullptr)
    return false;
  static_cast<AccountFields&>(*account) = fields;
  ChangedLocked();
  return true;
}

bool Users::DeleteAccountByName(std::string_view name) {
  std::lock_guard lock(mutex_);
  FtpUserData* account = FindByName(accounts_, name);
  if (account == nullptr)
    return false;
  accounts_.erase(accounts_.begin() + (account - accounts_.data()));
  ChangedLocked();
  return true;
}

std::vector<AccountRow> Users::AccountRows() const {
  std::lock_guard lock(mutex_);
  std::vector<AccountRow> rows;
  rows.reserve(accounts_.size());
  for (const auto& a : accounts_)
    rows.push_back(AccountRow{a, a.addr, a.last_time});
  return rows;
}

std::optional<AccountFields> Users::Login(std::string_view key, std::string_view user,
                                          std::string_view pass) {
  const DateTime now = clock_.Now();
  std::lock_guard lock(mutex_);
  FtpUserData* account = FindByName(accounts_, user);
  if (account == nullptr || !ConstantTimeEquals(account->pass, pass))
    return std::nullopt;
  account->addr = std::string(key);
  account->last_time = now;
  return static_cast<const AccountFields&>(*account);
}

}  // namespace vantrel
