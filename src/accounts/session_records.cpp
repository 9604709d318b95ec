#include "accounts/session_records.h"

#include "accounts/users.h"
#include "config/settings.h"

namespace vantrel {
namespace {

std::vector<std::string> SingleSegmentAliases(const std::vector<VirtualDirectory>& entries) {
  std::vector<std::string> aliases;
  for (const auto& entry : entries) {
    if (entry.alias.size() == 1)
      aliases.push_back(entry.alias.front());
  }
  return aliases;
}

// The anonymous virtual directories, while anonymous access is on.
std::vector<VirtualDirectory> AnonymousDirectories(const SettingsData& settings) {
  return settings.allowanonymous ? ParseVirtualDirectories(settings.anonymous_virtual)
                                 : std::vector<VirtualDirectory>();
}

SessionRecord MemberRecord(const AccountFields& account, const SettingsData& settings) {
  SessionRecord record;
  record.kind = SessionRecord::Kind::kMember;
  record.name = account.user;
  record.home = account.home;
  record.virtual_directories = ParseVirtualDirectories(account.virtualdir);
  record.listed_aliases = SingleSegmentAliases(record.virtual_directories);
  if (record.virtual_directories.empty())
    record.virtual_directories = AnonymousDirectories(settings);
  record.permissions = {account.allow_download,       account.allow_upload,
                        account.allow_rename,         account.allow_changedirectory,
                        account.allow_makedirectory,  account.allow_deletefile,
                        account.allow_deletedirectory};
  record.blocked_extensions = account.filecontrol;
  record.extension_match = SessionRecord::ExtensionMatch::kWithinText;
  record.download_limit = account.download;
  record.upload_limit = account.upload;
  return record;
}

SessionRecord AnonymousRecord(const SettingsData& settings) {
  SessionRecord record;
  record.kind = SessionRecord::Kind::kAnonymous;
  record.home = settings.anonymoushome;
  record.virtual_directories = AnonymousDirectories(settings);
  record.listed_aliases = SingleSegmentAliases(record.virtual_directories);
  record.permissions = {settings.anonymous_allowdownload,  settings.anonymous_allowupload,
                        settings.anonymous_allowrename,    settings.anonymous_allowchangedir,
                        settings.anonymous_allowcreatedir, settings.anonymous_allowdelete,
                        settings.anonymous_allowdeletedir};
  record.blocked_extensions = settings.preventuploads;
  record.extension_match = SessionRecord::ExtensionMatch::kListItem;
  record.download_limit = settings.anonymous_download;
  record.upload_limit = settings.anonymous_upload;
  return record;
}

}  // namespace

SessionRecords::SessionRecords(Users& users, const Settings& settings)
    : users_(users), settings_(settings) {}

std::shared_ptr<const SessionRecord> SessionRecords::MemberLogin(std::string_view key,
                                                                 std::string_view user,
                                                                 std::string_view password) const {
  // The generations are read first: a change landing in between makes the record look
  // older than it is and costs a rebuild, never a stale record that looks current.
  const auto accounts_generation = users_.Generation();
  const auto settings_generation = settings_.Generation();
  const auto account = users_.Login(key, user, password);
  if (!account)
    return nullptr;
  auto record = std::make_shared<SessionRecord>(MemberRecord(*account, settings_.Snapshot()));
  record->accounts_generation = accounts_generation;
  record->settings_generation = settings_generation;
  return record;
}

std::shared_ptr<const SessionRecord> SessionRecords::Anonymous(std::string_view password) const {
  const auto accounts_generation = users_.Generation();
  const auto settings_generation = settings_.Generation();
  auto record = std::make_shared<SessionRecord>(AnonymousRecord(settings_.Snapshot()));
  record->anonymous_password = password;
  record->accounts_generation = accounts_generation;
  record->settings_generation = settings_generation;
  return record;
}

std::shared_ptr<const SessionRecord> SessionRecords::Current(
    const std::shared_ptr<const SessionRecord>& record) const {
  const auto accounts_generation = users_.Generation();
  const auto settings_generation = settings_.Generation();
  if (!record || (record->accounts_generation == accounts_generation &&
                  record->settings_generation == settings_generation)) {
    return record;
  }
  auto rebuilt = std::make_shared<SessionRecord>();
  if (record->kind == SessionRecord::Kind::kAnonymous) {
    *rebuilt = AnonymousRecord(settings_.Snapshot());
    rebuilt->anonymous_password = record->anonymous_password;
  } else if (record->kind == SessionRecord::Kind::kMember) {
    if (const auto account = users_.GetAccountByName(record->name))
      *rebuilt = MemberRecord(*account, settings_.Snapshot());
  }
  rebuilt->accounts_generation = accounts_generation;
  rebuilt->settings_generation = settings_generation;
  return rebuilt;
}

}  // namespace vantrel
