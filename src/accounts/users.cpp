#include "accounts/users.h"

#include <algorithm>
#include <cmath>

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
  if (directory.empty() || directory.back() == '/')
    return directory + Users::kFileName;
  return directory + "/" + Users::kFileName;
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

// Rounded to the millisecond first: a moment stored as a day fraction is a hair off whole
// seconds, and plain truncation would show 45 s as 44 s.
std::int64_t ElapsedSeconds(DateTime from, DateTime now) {
  const auto milliseconds = std::llround(std::fabs(now - from) * kSecondsPerDay * 1000.0);
  return milliseconds / 1000;
}

// The extension of the last path segment: a dot in a directory name is not the file's.
std::string_view ExtensionOfFile(std::string_view path) {
  const auto slash = path.find_last_of('/');
  return FileExtension(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

Users::Users(const Clock& clock) : clock_(clock) {}

// --- account table ---

void Users::ClearAccounts() {
  std::lock_guard lock(mutex_);
  accounts_.clear();
  ++generation_;
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
  ++generation_;
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
  const auto found = std::find_if(accounts_.begin(), accounts_.end(),
                                  [name](const FtpUserData& a) { return a.user == name; });
  return found == accounts_.end() ? -1 : static_cast<int>(found - accounts_.begin());
}

std::optional<AccountFields> Users::GetAccount(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(accounts_.size()))
    return std::nullopt;
  return static_cast<const AccountFields&>(accounts_[static_cast<std::size_t>(index)]);
}

bool Users::UpdateAccount(int index, const AccountFields& fields) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(accounts_.size()))
    return false;
  static_cast<AccountFields&>(accounts_[static_cast<std::size_t>(index)]) = fields;
  ++generation_;
  return true;
}

bool Users::AddAccount(const AccountFields& fields) {
  std::lock_guard lock(mutex_);
  if (FindAccountLocked(fields.user) != nullptr)
    return false;
  FtpUserData account;
  static_cast<AccountFields&>(account) = fields;
  accounts_.push_back(std::move(account));
  ++generation_;
  return true;
}

bool Users::DeleteAccount(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(accounts_.size()))
    return false;
  accounts_.erase(accounts_.begin() + index);
  ++generation_;
  return true;
}

std::optional<AccountFields> Users::GetAccountByName(std::string_view name) const {
  std::lock_guard lock(mutex_);
  return GetAccount(FindAccount(name));
}

bool Users::UpdateAccountByName(std::string_view name, const AccountFields& fields) {
  std::lock_guard lock(mutex_);
  return UpdateAccount(FindAccount(name), fields);
}

bool Users::DeleteAccountByName(std::string_view name) {
  std::lock_guard lock(mutex_);
  return DeleteAccount(FindAccount(name));
}

std::vector<AccountRow> Users::AccountRows() const {
  std::lock_guard lock(mutex_);
  std::vector<AccountRow> rows;
  rows.reserve(accounts_.size());
  for (const auto& a : accounts_)
    rows.push_back(AccountRow{a, a.addr, a.last_time});
  return rows;
}

std::uint64_t Users::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

// --- questions of the FTP handlers ---

const FtpUserData* Users::FindAccountLocked(std::string_view name) const {
  for (const auto& account : accounts_) {
    if (account.user == name)
      return &account;
  }
  return nullptr;
}

bool Users::Authenticate(std::string_view key, std::string_view user, std::string_view pass) {
  std::lock_guard lock(mutex_);
  const FtpUserData* found = FindAccountLocked(user);
  if (found == nullptr || !ConstantTimeEquals(found->pass, pass))
    return false;
  FtpUserData& account = accounts_[static_cast<std::size_t>(found - accounts_.data())];
  account.addr = std::string(key);
  account.last_time = clock_.Now();
  return true;
}

std::string Users::GetHomeDirectory(std::string_view user) const {
  std::lock_guard lock(mutex_);
  const FtpUserData* account = FindAccountLocked(user);
  return account ? account->home : std::string();
}

std::string Users::GetVirtualDirectories(std::string_view user) const {
  std::lock_guard lock(mutex_);
  const FtpUserData* account = FindAccountLocked(user);
  return account ? account->virtualdir : std::string();
}

int Users::GetDownloadLimit(std::string_view user) const {
  std::lock_guard lock(mutex_);
  const FtpUserData* account = FindAccountLocked(user);
  return account ? account->download : 0;
}

int Users::GetUploadLimit(std::string_view user) const {
  std::lock_guard lock(mutex_);
  const FtpUserData* account = FindAccountLocked(user);
  return account ? account->upload : 0;
}

bool Users::Check(std::string_view key, std::string_view user, std::string_view pass,
                  bool FtpUserData::*flag) {
  std::lock_guard lock(mutex_);
  if (!Authenticate(key, user, pass))
    return false;
  const FtpUserData* account = FindAccountLocked(user);
  return account != nullptr && account->*flag;
}

bool Users::CanDownload(std::string_view key, std::string_view user, std::string_view pass) {
  return Check(key, user, pass, &FtpUserData::allow_download);
}

bool Users::CanUpload(std::string_view key, std::string_view user, std::string_view pass,
                      std::string_view file_name) {
  std::lock_guard lock(mutex_);
  if (!Check(key, user, pass, &FtpUserData::allow_upload))
    return false;
  const std::string_view extension = ExtensionOfFile(file_name);
  if (extension.empty())
    return true;
  // Letter case is ignored, as the server's own list does: "a.EXE" is as harmful as "a.exe".
  return ToLowerAscii(FindAccountLocked(user)->filecontrol).find(ToLowerAscii(extension)) ==
         std::string::npos;
}

bool Users::CanRename(std::string_view key, std::string_view user, std::string_view pass) {
  return Check(key, user, pass, &FtpUserData::allow_rename);
}

bool Users::CanChangeDirectory(std::string_view key, std::string_view user, std::string_view pass) {
  return Check(key, user, pass, &FtpUserData::allow_changedirectory);
}

bool Users::CanMakeDirectory(std::string_view key, std::string_view user, std::string_view pass) {
  return Check(key, user, pass, &FtpUserData::allow_makedirectory);
}

bool Users::CanDeleteFile(std::string_view key, std::string_view user, std::string_view pass) {
  return Check(key, user, pass, &FtpUserData::allow_deletefile);
}

bool Users::CanRemoveDirectory(std::string_view key, std::string_view user, std::string_view pass) {
  return Check(key, user, pass, &FtpUserData::allow_deletedirectory);
}

// --- online clients ---

FtpUserData* Users::FindOnlineLocked(std::string_view key, std::string_view clientid) {
  if (!clientid.empty()) {
    for (auto& client : online_) {
      if (client.clientid == clientid)
        return &client;
    }
    return nullptr;
  }
  // From the end: a peer that reconnects from the same port before its old entry is gone
  // must update its new entry.
  for (auto it = online_.rbegin(); it != online_.rend(); ++it) {
    if (it->addr == key)
      return &*it;
  }
  return nullptr;
}

bool Users::AddOnlineClient(std::string_view user, std::string_view pass, std::string_view key,
                            std::string_view clientid) {
  FtpUserData client;
  client.clientid = std::string(clientid);
  client.user = std::string(user);
  client.pass = std::string(pass);
  client.addr = std::string(key);
  client.current_directory = "/";
  client.action = "-";
  client.connected = clock_.Now();
  client.last_time = client.connected;
  std::lock_guard lock(mutex_);
  online_.push_back(std::move(client));
  return true;
}

bool Users::SetOnlineUser(std::string_view key, std::string_view user, std::string_view pass,
                          std::string_view clientid) {
  std::lock_guard lock(mutex_);
  FtpUserData* client = FindOnlineLocked(key, clientid);
  if (client == nullptr)
    return false;
  client->user = std::string(user);
  client->pass = std::string(pass);
  return true;
}

bool Users::SetOnlineAction(std::string_view key, std::string_view action,
                            std::string_view clientid) {
  std::lock_guard lock(mutex_);
  FtpUserData* client = FindOnlineLocked(key, clientid);
  if (client == nullptr)
    return false;
  client->action = std::string(action);
  return true;
}

bool Users::SetOnlineActionPath(std::string_view key, std::string_view action,
                                std::string_view path, std::string_view clientid) {
  std::lock_guard lock(mutex_);
  FtpUserData* client = FindOnlineLocked(key, clientid);
  if (client == nullptr)
    return false;
  client->action = std::string(action);
  client->current_directory = std::string(path);
  return true;
}

bool Users::RemoveOnlineClient(std::string_view key, std::string_view clientid) {
  std::lock_guard lock(mutex_);
  FtpUserData* client = FindOnlineLocked(key, clientid);
  if (client == nullptr)
    return false;
  online_.erase(online_.begin() + (client - online_.data()));
  return true;
}

int Users::OnlineCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(online_.size());
}

void Users::ClearOnlineClients() {
  std::lock_guard lock(mutex_);
  online_.clear();
}

std::vector<OnlineClientRow> Users::OnlineClientRows() const {
  const DateTime now = clock_.Now();
  std::lock_guard lock(mutex_);
  std::vector<OnlineClientRow> rows;
  rows.reserve(online_.size());
  for (const auto& c : online_) {
    rows.push_back(OnlineClientRow{c.addr, c.user, c.current_directory, c.action,
                                   ElapsedSeconds(c.connected, now)});
  }
  return rows;
}

}  // namespace vantrel
